// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/MftRecord.h"
#include "support/NtfsBuilder.h"

#include <gtest/gtest.h>

#include <random>

using namespace sarvik;
using namespace sarvik::ntfs;
using test::MftRecordBuilder;
using test::u16;

namespace {

std::uint8_t byteAt(const MftRecord& r, std::size_t i)
{
    return std::to_integer<std::uint8_t>(r[i]);
}

void poke(MftRecord& r, std::size_t offset, unsigned width, std::uint64_t value)
{
    ASSERT_TRUE(disk::putUint(r, offset, width, value));
}

/// The record as the scan sees it: read from disk, then fixed up.
MftRecord fixed(const MftRecordBuilder& b)
{
    MftRecord r = b.build();
    ApplyRecordFixup(r);
    return r;
}

} // namespace

// ---- Update-sequence fixup ------------------------------------------------

TEST(ApplyRecordFixup, CountThreeRestoresBothSectorEnds)
{
    const MftRecordBuilder b = MftRecordBuilder().fileName(u"a.txt", 5, FileNamespace::Win32);
    MftRecord r = b.build();
    ASSERT_EQ(byteAt(r, 510), 0x0B); // the sequence number sits there on disk
    ApplyRecordFixup(r);
    EXPECT_EQ(byteAt(r, 510), 0x34); // entry 1
    EXPECT_EQ(byteAt(r, 511), 0x12);
    EXPECT_EQ(byteAt(r, 1022), 0x78); // entry 2
    EXPECT_EQ(byteAt(r, 1023), 0x56);
    // Apart from the update-sequence array, the record is as it was before protection.
    MftRecord unprotected = b.build(false);
    std::copy_n(r.begin() + 0x30, 6, unprotected.begin() + 0x30);
    EXPECT_EQ(r, unprotected);
}

// A record found outside the MFT is believed only when every sector ends with
// the sequence number: a torn write, or bytes that only start with "FILE", fail.
TEST(RecordFixupMatches, EverySectorEndMustHoldTheSequenceNumber)
{
    const MftRecordBuilder b = MftRecordBuilder().fileName(u"a.txt", 5, FileNamespace::Win32);
    EXPECT_TRUE(RecordFixupMatches(b.build()));
    EXPECT_FALSE(RecordFixupMatches(b.build(false)));
    MftRecord torn = b.build();
    poke(torn, 1022, 2, 0x0B0C);
    EXPECT_FALSE(RecordFixupMatches(torn));
    MftRecord counted = b.build();
    poke(counted, 6, 2, 2); // one sector's word for a record of two
    EXPECT_FALSE(RecordFixupMatches(counted));
}

TEST(ApplyRecordFixup, EntriesComeOnlyFromTheFirst84Bytes)
{
    MftRecord r{};
    for (std::size_t i = 0; i < 100; ++i)
        r[i] = static_cast<std::byte>(i);
    poke(r, 1022, 2, 0xEEEE);
    poke(r, 510, 2, 0xEEEE);

    // Array at 78: entries at 80..81 and 82..83, both inside.
    MftRecord a = r;
    poke(a, 4, 2, 78);
    poke(a, 6, 2, 3);
    ApplyRecordFixup(a);
    EXPECT_EQ(byteAt(a, 510), 80);
    EXPECT_EQ(byteAt(a, 511), 81);
    EXPECT_EQ(byteAt(a, 1022), 82);
    EXPECT_EQ(byteAt(a, 1023), 83);

    // Array at 79: entry 2 would take bytes 83 and 84; only its first byte is copied.
    MftRecord b = r;
    poke(b, 4, 2, 79);
    poke(b, 6, 2, 3);
    ApplyRecordFixup(b);
    EXPECT_EQ(byteAt(b, 510), 81);
    EXPECT_EQ(byteAt(b, 511), 82);
    EXPECT_EQ(byteAt(b, 1022), 83);
    EXPECT_EQ(byteAt(b, 1023), 0xEE);

    // Array at 82: entry 1 starts at 84, so nothing is copied.
    MftRecord c = r;
    poke(c, 4, 2, 82);
    poke(c, 6, 2, 3);
    ApplyRecordFixup(c);
    EXPECT_EQ(byteAt(c, 510), 0xEE);
    EXPECT_EQ(byteAt(c, 1022), 0xEE);
}

TEST(ApplyRecordFixup, CountsThatDoNotFitTheRecordStayInside)
{
    MftRecord base{};
    for (std::size_t i = 0; i < base.size(); ++i)
        base[i] = static_cast<std::byte>(0xC0 + i % 7);
    poke(base, 4, 2, 0x30);
    for (const unsigned count : {0u, 1u}) {
        MftRecord r = base;
        poke(r, 6, 2, count);
        const MftRecord before = r;
        ApplyRecordFixup(r);
        EXPECT_EQ(r, before) << "count " << count;
    }
    // A count far above the record's two sectors restores those two and no more.
    MftRecord big = base;
    poke(big, 6, 2, 0xFFFF);
    std::vector<std::byte> padded(big.begin(), big.end());
    padded.resize(1030, std::byte{0x99});
    ApplyRecordFixup(std::span(padded).first(1024));
    EXPECT_EQ(std::to_integer<int>(padded[510]), std::to_integer<int>(big[0x32]));
    EXPECT_EQ(std::to_integer<int>(padded[1023]), std::to_integer<int>(big[0x35]));
    for (std::size_t i = 1024; i < padded.size(); ++i)
        EXPECT_EQ(std::to_integer<int>(padded[i]), 0x99);
}

// ---- Attribute records ----------------------------------------------------

TEST(CollectAttributeRecords, ResidentListAppendsEveryEntryInOrder)
{
    const MftRecord r = fixed(MftRecordBuilder(RecordFlags::DeletedFile)
                                  .attributeList({{0x10, 40}, {0x30, 40}, {0x80, 41}, {0x80, 41}, {0x80, 57}})
                                  .fileName(u"f", 5, FileNamespace::Win32));
    AttributeRecordTable t;
    t.reset(40);
    CollectAttributeRecords(r, t);
    ASSERT_EQ(t.AttributeRecordCount, 6);
    const std::vector<std::uint32_t> got(t.AttributeRecords.begin(), t.AttributeRecords.begin() + 6);
    EXPECT_EQ(got, (std::vector<std::uint32_t>{40, 40, 40, 41, 41, 57}));
}

TEST(CollectAttributeRecords, WithoutAResidentListOnlyTheOwnNumberStays)
{
    const MftRecord none = fixed(MftRecordBuilder().fileName(u"f", 5, FileNamespace::Win32).residentData(10));
    const MftRecord nonResident = fixed(MftRecordBuilder()
                                            .nonResidentAttributeList(64, test::encodeRuns({{1, 300}}))
                                            .fileName(u"f", 5, FileNamespace::Win32));
    for (const MftRecord* r : {&none, &nonResident}) {
        AttributeRecordTable t;
        t.reset(77);
        CollectAttributeRecords(*r, t);
        EXPECT_EQ(t.AttributeRecordCount, 1);
        EXPECT_EQ(t.AttributeRecords[0], 77u);
    }
}

TEST(CollectAttributeRecords, DamagedListsEndTheWalk)
{
    // An entry of length 0 is taken, then ends the walk.
    {
        const MftRecord r = fixed(MftRecordBuilder().attributeList({{0x30, 9}, {0x80, 10, 0}, {0x80, 11}}));
        AttributeRecordTable t;
        t.reset(9);
        CollectAttributeRecords(r, t);
        EXPECT_EQ(t.AttributeRecordCount, 3);
        EXPECT_EQ(t.AttributeRecords[2], 10u);
    }
    // An attribute of length 0 before the list: the list is never reached.
    {
        MftRecordBuilder b;
        b.residentData(8).attributeList({{0x80, 12}});
        MftRecord r = fixed(b);
        poke(r, b.attributeOffset(0) + 4, 4, 0);
        AttributeRecordTable t;
        t.reset(3);
        CollectAttributeRecords(r, t);
        EXPECT_EQ(t.AttributeRecordCount, 1);
    }
    // A first-attribute offset outside the record, and one that is negative.
    for (const std::uint16_t first : {std::uint16_t{2000}, std::uint16_t{0xFFF0}}) {
        MftRecord r = fixed(MftRecordBuilder().attributeList({{0x80, 12}}));
        poke(r, kRecordFirstAttribute, 2, first);
        AttributeRecordTable t;
        t.reset(3);
        CollectAttributeRecords(r, t);
        EXPECT_EQ(t.AttributeRecordCount, 1);
    }
}

TEST(CollectAttributeRecords, StopsAtFiftyEntries)
{
    // Entries of 12 bytes: each one's record field is the next entry's length.
    std::vector<std::uint8_t> body(8, 0); // resident header tail: value length, value offset 24
    std::vector<std::uint8_t> entries;
    for (int i = 0; i < 70; ++i) {
        const std::uint8_t e[12] = {0x80, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0};
        entries.insert(entries.end(), std::begin(e), std::end(e));
    }
    body[0] = static_cast<std::uint8_t>(entries.size() & 0xFF);
    body[1] = static_cast<std::uint8_t>(entries.size() >> 8);
    body[4] = 24;
    body.insert(body.end(), entries.begin(), entries.end());
    const MftRecord r = fixed(MftRecordBuilder().raw(AttributeType::AttributeList, 0, body));
    AttributeRecordTable t;
    t.reset(1);
    CollectAttributeRecords(r, t);
    EXPECT_EQ(t.AttributeRecordCount, kMaxAttributeRecords);
    EXPECT_EQ(t.AttributeRecords[49], 12u);
}

// ---- File names -----------------------------------------------------------

TEST(FindFileName, EachNameSpaceFindsItsOwnAttribute)
{
    for (const bool dosFirst : {false, true}) {
        MftRecordBuilder b(RecordFlags::DeletedFile);
        if (dosFirst)
            b.fileName(u"LONGNA~1.TXT", 5, FileNamespace::Dos);
        b.fileName(u"Long name.txt", 5, FileNamespace::Win32, 111, 222);
        if (!dosFirst)
            b.fileName(u"LONGNA~1.TXT", 5, FileNamespace::Dos);
        const MftRecord r = fixed(b);
        const auto win32 = FindFileName(r, FileNamespace::Win32);
        ASSERT_TRUE(win32) << "DOS first: " << dosFirst;
        EXPECT_EQ(win32->name, "Long name.txt");
        EXPECT_EQ(win32->created, 111u);
        EXPECT_EQ(win32->modified, 222u);
        ASSERT_TRUE(FindFileName(r, FileNamespace::Dos));
        EXPECT_EQ(FindFileName(r, FileNamespace::Dos)->name, "LONGNA~1.TXT");
        EXPECT_FALSE(FindFileName(r, FileNamespace::Win32AndDos));
        EXPECT_FALSE(FindFileName(r, FileNamespace::Posix));
    }
    const MftRecord both = fixed(MftRecordBuilder().fileName(u"README.TXT", 42, FileNamespace::Win32AndDos));
    EXPECT_FALSE(FindFileName(both, FileNamespace::Win32));
    ASSERT_TRUE(FindFileName(both, FileNamespace::Win32AndDos));
    EXPECT_EQ(FindFileName(both, FileNamespace::Win32AndDos)->parentRecord, 42u);
}

TEST(FindFileName, NamesKeepTheLowByteOfEachUnit)
{
    const MftRecord r = fixed(MftRecordBuilder().fileName(u"caf\u00e9 \u0416.txt", 5, FileNamespace::Posix));
    const auto n = FindFileName(r, FileNamespace::Posix);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->name, "caf\xE9 \x16.txt");

    // A unit whose low byte is zero ends the 8-bit name.
    const MftRecord cut = fixed(MftRecordBuilder().fileName(u"ab\u0100cd", 5, FileNamespace::Posix));
    EXPECT_EQ(FindFileName(cut, FileNamespace::Posix)->name, "ab");
}

TEST(FindFileName, EmptyAndTruncatedNames)
{
    const MftRecord empty = fixed(MftRecordBuilder().fileName(u"", 5, FileNamespace::Win32));
    const auto e = FindFileName(empty, FileNamespace::Win32);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "");

    // A name length that runs past the record: only the characters inside it are taken.
    MftRecordBuilder b;
    b.residentData(800).fileName(u"abcdefgh", 5, FileNamespace::Win32);
    MftRecord r = fixed(b);
    const std::size_t value = b.attributeOffset(1) + 24;
    ASSERT_LT(value + 66, 1024u);
    poke(r, value + 64, 1, 255);
    for (std::size_t i = value + 66; i < 1024; ++i)
        r[i] = std::byte{'x'};
    const auto t = FindFileName(r, FileNamespace::Win32);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->name.size(), (1024 - (value + 66)) / 2);
}

TEST(FindFileName, DamagedAttributesEndTheSearch)
{
    // A value offset that leaves the record stops the search before a later match.
    {
        MftRecordBuilder b;
        b.fileName(u"dos", 5, FileNamespace::Dos).fileName(u"win", 5, FileNamespace::Win32);
        MftRecord r = fixed(b);
        poke(r, b.attributeOffset(0) + 20, 2, 2000);
        EXPECT_FALSE(FindFileName(r, FileNamespace::Win32));
    }
    // A zero attribute length stops the walk; a named file-name attribute is passed over.
    {
        MftRecordBuilder b;
        b.residentData(4).fileName(u"win", 5, FileNamespace::Win32);
        MftRecord r = fixed(b);
        poke(r, b.attributeOffset(0) + 4, 4, 0);
        EXPECT_FALSE(FindFileName(r, FileNamespace::Win32));
        MftRecord named = fixed(b);
        poke(named, b.attributeOffset(1) + 9, 1, 1);
        EXPECT_FALSE(FindFileName(named, FileNamespace::Win32));
    }
    // Attributes that fill the record to its last byte without an end marker:
    // the walk ends there instead of reading on.
    {
        MftRecordBuilder b;
        b.fileName(u"x", 5, FileNamespace::Dos).residentData(848).noEndMarker();
        MftRecord r = fixed(b);
        ASSERT_EQ(b.attributeOffset(2), 1024u);
        EXPECT_EQ(FindFileName(r, FileNamespace::Dos)->name, "x");
        EXPECT_FALSE(FindFileName(r, FileNamespace::Win32));
        EXPECT_EQ(FindDataAttribute(r), 848u);
    }
}

// ---- Data attribute -------------------------------------------------------

TEST(FindDataAttribute, SizesOfResidentAndNonResidentData)
{
    EXPECT_EQ(FindDataAttribute(fixed(MftRecordBuilder().residentData(300))), 300u);
    EXPECT_EQ(FindDataAttribute(fixed(MftRecordBuilder().nonResidentData(5000, test::encodeRuns({{2, 100}})))), 5000u);
    const std::uint64_t big = (std::uint64_t{5} << 32) + 7;
    EXPECT_EQ(FindDataAttribute(fixed(MftRecordBuilder().nonResidentData(big, test::encodeRuns({{9, 100}})))), big);
    // The unnamed attribute after a named stream is the one found.
    EXPECT_EQ(FindDataAttribute(fixed(MftRecordBuilder()
                                          .residentData(17, u"Zone.Identifier")
                                          .nonResidentData(9000, test::encodeRuns({{3, 50}})))),
              9000u);
    EXPECT_FALSE(FindDataAttribute(fixed(MftRecordBuilder().residentData(17, u"stream"))));
    EXPECT_FALSE(FindDataAttribute(fixed(MftRecordBuilder().fileName(u"a", 5, 1))));

    MftRecordBuilder b;
    b.fileName(u"a", 5, 1).residentData(10);
    MftRecord r = fixed(b);
    poke(r, b.attributeOffset(0) + 4, 4, 0);
    EXPECT_FALSE(FindDataAttribute(r));
}

// ---- Damaged records at random --------------------------------------------

namespace {

/// The name search as the walk for one name space does it, written out plainly.
std::optional<std::size_t> referenceNameValue(const MftRecord& r, std::uint8_t ns)
{
    const disk::ByteReader b(r);
    std::int64_t off = static_cast<std::int16_t>(b.u16or0(20));
    if (off < 0 || off >= 1023)
        return std::nullopt;
    for (;;) {
        const auto type = b.u32(static_cast<std::uint64_t>(off));
        if (!type || *type == 0 || *type == 0xFFFFFFFF)
            return std::nullopt;
        const auto at = static_cast<std::uint64_t>(off);
        if (*type == 0x30 && b.u8or0(at + 9) == 0) {
            const std::int64_t value = off + static_cast<std::int16_t>(b.u16or0(at + 20));
            if (value < 0 || value > 1023)
                return std::nullopt;
            const auto found = b.u8(static_cast<std::uint64_t>(value) + 65);
            if (found && *found == ns)
                return static_cast<std::size_t>(value);
        }
        const std::uint32_t len = b.u32or0(at + 4);
        if (len == 0 || off + std::int64_t{len} >= 1023)
            return std::nullopt;
        off += len;
    }
}

/// The attribute-record walk written out plainly.
std::vector<std::uint32_t> referenceRecords(const MftRecord& r)
{
    std::vector<std::uint32_t> out;
    const disk::ByteReader b(r);
    std::int64_t off = static_cast<std::int16_t>(b.u16or0(20));
    if (off < 0)
        return out;
    while (off <= 1023) {
        const auto at = static_cast<std::uint64_t>(off);
        const auto type = b.u32(at);
        if (!type || *type == 0 || *type == 0xFFFFFFFF)
            return out;
        if (*type == 0x20 && b.u8or0(at + 8) == 0) {
            const std::int64_t vo = static_cast<std::int16_t>(b.u16or0(at + 20));
            if (vo <= 0 || vo >= 1023 || off + vo >= 1023)
                return out;
            const std::int64_t end = off + std::int64_t{b.u32or0(at + 4)};
            for (std::int64_t e = off + vo; e < end;) {
                const auto eu = static_cast<std::uint64_t>(e);
                const auto et = b.u32(eu);
                const auto rec = b.u32(eu + 16);
                if (!et || !rec || *et == 0 || *et == 0xFFFFFFFF || out.size() == kMaxAttributeRecords - 1)
                    return out;
                out.push_back(*rec);
                const std::int64_t len = static_cast<std::int16_t>(b.u16or0(eu + 4));
                if (len <= 0 || len > 1023)
                    return out;
                e += len;
            }
            return out;
        }
        const std::uint32_t len = b.u32or0(at + 4);
        if (len == 0 || len > 1024)
            return out;
        off += len;
    }
    return out;
}

/// The data-attribute walk written out plainly.
std::optional<std::uint64_t> referenceData(const MftRecord& r)
{
    const disk::ByteReader b(r);
    std::int64_t off = static_cast<std::int16_t>(b.u16or0(20));
    if (off < 0 || off >= 1023)
        return std::nullopt;
    for (;;) {
        const auto at = static_cast<std::uint64_t>(off);
        const auto type = b.u32(at);
        if (!type || *type == 0 || *type == 0xFFFFFFFF)
            return std::nullopt;
        if (*type == 0x80 && b.u8or0(at + 9) == 0)
            return b.u8or0(at + 8) == 1 ? b.u64or0(at + 48) : b.u32or0(at + 16);
        const std::uint32_t len = b.u32or0(at + 4);
        if (len == 0 || off + std::int64_t{len} >= 1023)
            return std::nullopt;
        off += len;
    }
}

} // namespace

TEST(MftRecordParsing, MutatedRecordsStayInsideAndAgreeWithThePlainWalks)
{
    const std::vector<MftRecord> seeds = {
        fixed(MftRecordBuilder(0)
                  .attributeList({{0x30, 3}, {0x80, 4}})
                  .fileName(u"LONGNA~1", 5, FileNamespace::Dos)
                  .fileName(u"long name", 5, FileNamespace::Win32)
                  .residentData(40, u"s")
                  .nonResidentData(7000, test::encodeRuns({{2, 40}, {1, 10}}))),
        fixed(MftRecordBuilder(2).fileName(u"posix", 9, 0).fileName(u"both", 9, 3).residentData(100)),
    };
    std::mt19937 rng(1234);
    std::size_t namesFound = 0;
    std::size_t listsFound = 0;
    std::size_t sizesFound = 0;
    for (int round = 0; round < 20000; ++round) {
        MftRecord r = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int f = 0; f < flips; ++f) {
            // Bias towards the header fields that steer the walks.
            const std::size_t at = rng() % 3 == 0 ? rng() % 0x60 : 0x38 + rng() % 0x180;
            r[at] = static_cast<std::byte>(rng() & 0xFF);
        }
        AttributeRecordTable t;
        t.reset(1);
        CollectAttributeRecords(r, t);
        const std::vector<std::uint32_t> listed(t.AttributeRecords.begin() + 1,
                                                t.AttributeRecords.begin() + t.AttributeRecordCount);
        ASSERT_EQ(listed, referenceRecords(r)) << "round " << round;
        listsFound += listed.empty() ? 0u : 1u;
        const auto size = FindDataAttribute(r);
        ASSERT_EQ(size, referenceData(r)) << "round " << round;
        sizesFound += size ? 1u : 0u;
        const FileNameOffsets offsets = LocateFileNames(r);
        for (std::uint8_t ns = 0; ns < 4; ++ns) {
            ASSERT_EQ(offsets.value[ns], referenceNameValue(r, ns)) << "round " << round << " ns " << int(ns);
            if (offsets.value[ns]) {
                ASSERT_LE(*offsets.value[ns], 1023u);
                const FileNameInfo n = ReadFileName(r, *offsets.value[ns]);
                ASSERT_LE(n.name.size(), 255u);
                ++namesFound;
            }
        }
        ApplyRecordFixup(r);
    }
    // The mutations left enough records whole for the comparisons to mean something.
    EXPECT_GT(namesFound, 1000u);
    EXPECT_GT(listsFound, 1000u);
    EXPECT_GT(sizesFound, 1000u);
}
