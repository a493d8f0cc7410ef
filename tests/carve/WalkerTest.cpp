// SPDX-License-Identifier: GPL-3.0-or-later
// The format walkers on small buffers where a structure's edge matters: a
// whole file ends where its format says, a file cut by the end of its bytes is
// incomplete and held as far as it goes, size fields that point past the bytes
// or are bogus never make a whole file, and a stream that does not say its
// length stops at the next file's start. Random bytes give no file.

#include "carve/Carver.h"
#include "carve/FileFormats.h"
#include "support/Manifest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <tuple>

using namespace sarvik;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::byte>;

void put(Bytes& b, std::string_view text)
{
    for (const char c : text)
        b.push_back(static_cast<std::byte>(c));
}
void putLe(Bytes& b, std::uint64_t v, unsigned width)
{
    for (unsigned i = 0; i < width; ++i)
        b.push_back(static_cast<std::byte>((v >> (8 * i)) & 0xFF));
}
void putBe(Bytes& b, std::uint64_t v, unsigned width)
{
    for (unsigned i = width; i-- > 0;)
        b.push_back(static_cast<std::byte>((v >> (8 * i)) & 0xFF));
}
void setLe(Bytes& b, std::size_t at, std::uint64_t v, unsigned width)
{
    for (unsigned i = 0; i < width; ++i)
        b[at + i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
}
void fill(Bytes& b, std::size_t n, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < n; ++i)
        b.push_back(static_cast<std::byte>(rng() & 0xFF));
}

std::optional<carve::FileType> typeOf(const Bytes& b)
{
    return carve::typeAt(disk::ByteSpan(b).first(std::min(b.size(), carve::kSignatureBytes)), carve::allFileTypes());
}

/// Walks `b` (its first `limit` bytes) as the type its start names; searched
/// with other starts looked for every `unit` bytes when given.
carve::WalkResult walk(const Bytes& b, std::size_t limit = SIZE_MAX, std::uint64_t unit = 0)
{
    const auto type = typeOf(b);
    if (!type)
        return {};
    const disk::MemoryBlockSource source(
        Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(std::min(limit, b.size()))));
    carve::CarveStream stream(source, 0, source.size());
    const auto all = carve::allFileTypes();
    if (unit != 0)
        stream.setStarts(unit, all);
    return carve::walkFile(*type, stream);
}

void expectWhole(const carve::WalkResult& r, std::uint64_t length, const std::string& extension)
{
    EXPECT_EQ(r.status, carve::WalkStatus::Whole);
    EXPECT_EQ(r.length, length);
    EXPECT_EQ(r.extension, extension);
}

void expectIncomplete(const carve::WalkResult& r, std::uint64_t length)
{
    EXPECT_EQ(r.status, carve::WalkStatus::Incomplete);
    EXPECT_EQ(r.length, length);
}

// ---- Builders of small files.

/// MPEG-1 layer III frames of 128 kbit/s at 44.1 kHz: 417 bytes (418 padded).
Bytes mp3Frames(int count, std::uint32_t seed)
{
    Bytes b;
    std::mt19937 rng(seed);
    for (int i = 0; i < count; ++i) {
        const bool padded = i % 3 == 1;
        putBe(b, 0xFFFB9000u | (padded ? 0x200u : 0u), 4);
        for (int k = 0; k < (padded ? 414 : 413); ++k)
            b.push_back(static_cast<std::byte>(rng() & 0x7F)); // never a frame sync
    }
    return b;
}

/// An M2TS stream: 192-byte packets, a PAT first.
Bytes m2ts(int packets)
{
    Bytes b;
    for (int i = 0; i < packets; ++i) {
        putBe(b, 0x1000u + static_cast<std::uint32_t>(i), 4);
        putBe(b, i == 0 ? 0x47400010u : 0x47010010u | (static_cast<std::uint32_t>(i & 15)), 4);
        b.resize(b.size() + 184, std::byte{0xFF});
    }
    return b;
}

std::uint32_t crcMsb(const Bytes& bytes, std::uint32_t polynomial, unsigned width)
{
    const std::uint32_t top = std::uint32_t{1} << (width - 1);
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (top << 1) - 1;
    std::uint32_t crc = 0;
    for (const std::byte x : bytes) {
        crc ^= std::to_integer<std::uint32_t>(x) << (width - 8);
        for (int k = 0; k < 8; ++k)
            crc = (crc & top) != 0 ? ((crc << 1) ^ polynomial) & mask : (crc << 1) & mask;
    }
    return crc;
}

/// One Ogg page of `body` bytes with the given flags, its CRC set.
Bytes oggPage(std::uint8_t flags, std::uint32_t serial, std::uint32_t sequence, std::size_t body,
              std::string_view start = {})
{
    Bytes p;
    put(p, "OggS");
    p.push_back(std::byte{0});
    p.push_back(static_cast<std::byte>(flags));
    putLe(p, sequence == 0 ? 0 : sequence * 1000, 8);
    putLe(p, serial, 4);
    putLe(p, sequence, 4);
    putLe(p, 0, 4); // CRC, set below
    const std::size_t segments = body / 255 + 1;
    p.push_back(static_cast<std::byte>(segments));
    for (std::size_t i = 0; i + 1 < segments; ++i)
        p.push_back(std::byte{255});
    p.push_back(static_cast<std::byte>(body % 255));
    put(p, start);
    for (std::size_t i = start.size(); i < body; ++i)
        p.push_back(static_cast<std::byte>(i * 7 + sequence));
    setLe(p, 22, crcMsb(p, 0x04C11DB7, 32), 4);
    return p;
}

/// A FLAC stream of `frames` frames of 192 samples (mono, 8 bits, verbatim),
/// with the sample count in STREAMINFO (or 0: not told).
Bytes flac(int frames, bool countSamples)
{
    Bytes b;
    put(b, "fLaC");
    putBe(b, 0x80000022u, 4); // last block, STREAMINFO, 34 bytes
    putBe(b, 192, 2);
    putBe(b, 192, 2);
    putBe(b, 0, 3);
    putBe(b, 0, 3);
    // 44.1 kHz, 1 channel, 8 bits, the sample count (36 bits), MD5.
    const std::uint64_t samples = countSamples ? 192u * static_cast<unsigned>(frames) : 0;
    putBe(b, (std::uint64_t{44100} << 44) | (std::uint64_t{0} << 41) | (std::uint64_t{7} << 36) | samples, 8);
    b.resize(b.size() + 16, std::byte{0x11});
    for (int f = 0; f < frames; ++f) {
        Bytes frame;
        putBe(frame, 0xFFF8, 2);
        frame.push_back(std::byte{0x19});           // 192 samples, 44.1 kHz
        frame.push_back(std::byte{0x02});           // mono, 8 bits
        frame.push_back(static_cast<std::byte>(f)); // frame number
        frame.push_back(static_cast<std::byte>(crcMsb(frame, 0x07, 8)));
        frame.push_back(std::byte{0x02}); // a verbatim subframe
        for (int i = 0; i < 192; ++i)
            frame.push_back(static_cast<std::byte>((i * 37 + f) & 0x7F));
        putBe(frame, crcMsb(frame, 0x8005, 16), 2);
        b.insert(b.end(), frame.begin(), frame.end());
    }
    return b;
}

/// A RIFF file of form `form` holding one chunk of `body` bytes.
Bytes riff(std::string_view form, std::string_view chunk, std::size_t body)
{
    Bytes b;
    put(b, "RIFF");
    putLe(b, 4 + 8 + body + (body & 1), 4);
    put(b, form);
    put(b, chunk);
    putLe(b, body, 4);
    b.resize(b.size() + body + (body & 1), std::byte{0x33});
    return b;
}

/// An ISO base media box.
void box(Bytes& b, std::string_view type, std::size_t body)
{
    putBe(b, 8 + body, 4);
    put(b, type);
    b.resize(b.size() + body, std::byte{0x22});
}

} // namespace

// The samples' layouts, as they are (most have their data cut away): each is
// taken by its signature as the type that holds it and named by its content.
TEST(CarveWalkers, SamplesAreTakenByTheirStructure)
{
    const fs::path dir = fs::path(SARVIK_SOURCE_DIR) / "tests/third-party/format-samples";
    struct Expected {
        const char* file;
        carve::FileType type;
        const char* extension;
        bool whole;
    };
    const Expected samples[] = {
        {"BMP.bmp", carve::FileType::Bmp, "bmp", true},
        {"CanonRaw.cr2", carve::FileType::Tiff, "cr2", true},
        {"CanonRaw.cr3", carve::FileType::Mp4, "cr3", true},
        {"DNG.dng", carve::FileType::Tiff, "dng", true},
        {"FlashPix.ppt", carve::FileType::Ole, "ppt", true},
        {"FujiFilm.raf", carve::FileType::Raf, "raf", true},
        {"OOXML.docx", carve::FileType::Zip, "docx", true},
        {"Photoshop.psd", carve::FileType::Psd, "psd", true},
        {"QuickTime.heic", carve::FileType::Mp4, "heic", true},
        {"QuickTime.m4a", carve::FileType::Mp4, "m4a", true},
        {"QuickTime.mov", carve::FileType::Mp4, "mov", true},
        {"RIFF.wav", carve::FileType::Riff, "wav", true},
        {"RIFF.webp", carve::FileType::Riff, "webp", true},
        // Their data cut away: the structure names bytes that are not there.
        {"RIFF.avi", carve::FileType::Riff, "avi", false},
        {"Matroska.mkv", carve::FileType::Mkv, "mkv", false},
        {"FLAC.flac", carve::FileType::Flac, "flac", false},
        {"FLAC.ogg", carve::FileType::Ogg, "ogg", false},
        {"MP3.mp3", carve::FileType::Mp3, "mp3", false},
        {"Nikon.nef", carve::FileType::Tiff, "nef", true},
        {"Panasonic.rw2", carve::FileType::Tiff, "rw2", false},
    };
    for (const Expected& e : samples) {
        SCOPED_TRACE(e.file);
        const Bytes b = test::readImageFile(dir / e.file);
        ASSERT_EQ(typeOf(b), e.type);
        const carve::WalkResult r = walk(b);
        EXPECT_EQ(r.extension, e.extension);
        if (e.whole) {
            EXPECT_EQ(r.status, carve::WalkStatus::Whole);
            EXPECT_LE(r.length, b.size());
            EXPECT_GT(r.length, b.size() * 9 / 10);
        } else {
            EXPECT_EQ(r.status, carve::WalkStatus::Incomplete);
        }
    }
}

// MP3: frames without a tag only in a run long enough; an ID3v2 tag before
// them and an ID3v1 tag after; a frame past the bytes' end cuts the file; a
// frame that runs over another file's start ends it before that frame.
TEST(CarveWalkers, Mp3FramesAndTags)
{
    Bytes six = mp3Frames(6, 1);
    const std::size_t sixEnd = six.size();
    EXPECT_EQ(walk(six).status, carve::WalkStatus::Incomplete) << "frames up to the bytes' end may go on";
    six.resize(sixEnd + 40, std::byte{0});
    expectWhole(walk(six), sixEnd, "mp3");
    Bytes five = mp3Frames(5, 1);
    five.resize(five.size() + 64, std::byte{0});
    EXPECT_EQ(walk(five).status, carve::WalkStatus::NotThisType) << "too few frames to tell from chance";

    Bytes tagged;
    put(tagged, "ID3");
    putBe(tagged, 0x0300, 2);
    tagged.push_back(std::byte{0});
    putBe(tagged, 0x0000017F, 4); // 255 bytes of tag, 7 bits a byte: 1 * 128 + 127
    tagged.resize(tagged.size() + 255, std::byte{'t'});
    const Bytes two = mp3Frames(2, 2);
    tagged.insert(tagged.end(), two.begin(), two.end());
    const std::size_t frames = tagged.size();
    put(tagged, "TAG");
    tagged.resize(frames + 128, std::byte{' '});
    const std::size_t whole = tagged.size();
    tagged.resize(whole + 100, std::byte{0});
    expectWhole(walk(tagged), whole, "mp3");
    expectIncomplete(walk(tagged, frames - 10), 10 + 255 + 417);

    // A PNG starts at the unit of 512 bytes the eighth frame runs into.
    Bytes before = mp3Frames(10, 3);
    const std::size_t tenEnd = before.size();
    before.resize(tenEnd + 40, std::byte{0});
    const std::size_t eighth = 417 * 5 + 418 * 2;
    std::memcpy(before.data() + 3072, "\x89PNG\r\n\x1A\n", 8);
    expectIncomplete(walk(before, SIZE_MAX, 512), eighth);
    // Without units looked at, the PNG's bytes are frame data and the frames go on.
    expectWhole(walk(before), tenEnd, "mp3");
}

// Transport streams: 192-byte packets, at least 16 in a row; the end where the
// sync byte stops; cut by the end of the bytes; another file at a unit's start.
TEST(CarveWalkers, TransportStreamPackets)
{
    Bytes stream = m2ts(40);
    const std::size_t end = stream.size();
    stream.resize(end + 300, std::byte{0});
    expectWhole(walk(stream), end, "mts");
    expectIncomplete(walk(stream, 20 * 192 + 100), 20 * 192);
    EXPECT_EQ(walk(m2ts(10)).status, carve::WalkStatus::NotThisType);
    Bytes ts; // 188-byte packets, as broadcast recordings keep them
    for (int i = 0; i < 30; ++i) {
        putBe(ts, i == 0 ? 0x47401110u : 0x47010010u, 4);
        ts.resize(ts.size() + 184, std::byte{0xFF});
    }
    ts.resize(ts.size() + 50, std::byte{0});
    expectWhole(walk(ts), 30 * 188, "ts");
    Bytes stopped = m2ts(60);
    std::memcpy(stopped.data() + 8192, "\xFF\xD8\xFF\xE0", 4); // a JPEG at a unit of 4 KiB
    expectIncomplete(walk(stopped, SIZE_MAX, 4096), 8192 / 192 * 192);
}

// Ogg: pages whose CRC holds, from the first stream's start to the end of
// every stream; a damaged page or the end of the bytes cuts it.
TEST(CarveWalkers, OggPagesToTheLastStreamEnd)
{
    Bytes ogg;
    const Bytes pages[] = {oggPage(0x02, 7, 0, 30, "\x01vorbis"), oggPage(0x02, 9, 0, 20), oggPage(0x00, 7, 1, 600),
                           oggPage(0x04, 7, 2, 100), oggPage(0x04, 9, 1, 80)};
    std::vector<std::size_t> ends;
    for (const Bytes& p : pages) {
        ogg.insert(ogg.end(), p.begin(), p.end());
        ends.push_back(ogg.size());
    }
    ogg.resize(ogg.size() + 200, std::byte{0x5A});
    expectWhole(walk(ogg), ends.back(), "ogg");
    expectIncomplete(walk(ogg, ends[3] + 10), ends[3]);
    Bytes damaged = ogg;
    damaged[ends[2] + 40] ^= std::byte{1};
    expectIncomplete(walk(damaged), ends[2]);
    const Bytes opus = oggPage(0x06, 1, 0, 19, "OpusHead");
    expectWhole(walk(opus), opus.size(), "opus");
}

// FLAC: frames found by their CRC-16 and confirmed by the next frame's
// header; the sample count ends the stream; without it, the frames end where
// none follows.
TEST(CarveWalkers, FlacFramesByTheirChecksums)
{
    Bytes counted = flac(5, true);
    const std::size_t end = counted.size();
    counted.resize(end + 500, std::byte{0});
    expectWhole(walk(counted), end, "flac");
    const std::size_t frame = 6 + 1 + 192 + 2;
    expectIncomplete(walk(counted, end - 50), end - frame);
    Bytes uncounted = flac(5, false);
    uncounted.resize(end + 500, std::byte{0x5A});
    expectWhole(walk(uncounted), end, "flac");
    Bytes damaged = flac(5, true);
    damaged[end - 2 * frame + 30] ^= std::byte{0x40};
    expectIncomplete(walk(damaged), end - 2 * frame);
}

// RIFF: the size field ends it (with AVI's further "AVIX" lists); a size past
// the bytes is a cut file; a first chunk that cannot be one is not RIFF.
TEST(CarveWalkers, RiffBySize)
{
    Bytes wav = riff("WAVE", "fmt ", 101);
    const std::size_t end = wav.size();
    wav.resize(end + 64, std::byte{0});
    expectWhole(walk(wav), end, "wav");
    expectIncomplete(walk(wav, 60), 60);
    Bytes avi = riff("AVI ", "LIST", 40);
    const Bytes more = riff("AVIX", "LIST", 1000);
    avi.insert(avi.end(), more.begin(), more.end());
    expectWhole(walk(avi), avi.size(), "avi");
    // RF64: the size in the "ds64" chunk; a short one, or a size field not all ones, is not RF64.
    Bytes rf64;
    put(rf64, "RF64");
    putLe(rf64, 0xFFFFFFFF, 4);
    put(rf64, "WAVEds64");
    putLe(rf64, 28, 4);
    putLe(rf64, 4 + 36 + 200, 8); // the RIFF size
    putLe(rf64, 200, 8);          // the data size
    putLe(rf64, 0, 8);
    putLe(rf64, 0, 4);
    put(rf64, "data");
    putLe(rf64, 0xFFFFFFFF, 4);
    rf64.resize(8 + 4 + 36 + 200, std::byte{0x10});
    const std::size_t rf64End = rf64.size();
    rf64.resize(rf64End + 100, std::byte{0});
    expectWhole(walk(rf64), rf64End, "wav");
    expectIncomplete(walk(rf64, 100), 100);
    setLe(rf64, 4, 1000, 4);
    EXPECT_EQ(walk(rf64).status, carve::WalkStatus::NotThisType);

    Bytes bogus = riff("WEBP", "VP8 ", 20);
    bogus[12] = std::byte{0x01};
    EXPECT_EQ(walk(bogus).status, carve::WalkStatus::NotThisType);
    Bytes tooLong = riff("WEBP", "VP8 ", 20);
    setLe(tooLong, 16, 5000, 4); // the first chunk longer than the file
    EXPECT_EQ(walk(tooLong).status, carve::WalkStatus::NotThisType);
}

// ISO base media: HEIF pictures have an item list, not a movie; CR3 and older
// QuickTime files are named by their content.
TEST(CarveWalkers, IsoMediaBoxes)
{
    Bytes heic;
    putBe(heic, 24, 4);
    put(heic, "ftypheic");
    putBe(heic, 0, 4);
    put(heic, "mif1heic");
    box(heic, "meta", 100);
    box(heic, "mdat", 3000);
    const std::size_t end = heic.size();
    heic.resize(end + 512, std::byte{0});
    expectWhole(walk(heic), end, "heic");
    expectIncomplete(walk(heic, 1000), 1000);
    Bytes cr3;
    putBe(cr3, 24, 4);
    put(cr3, "ftypcrx ");
    putBe(cr3, 1, 4);
    put(cr3, "crx isom");
    box(cr3, "moov", 200);
    box(cr3, "uuid", 50);
    box(cr3, "mdat", 900);
    expectWhole(walk(cr3), cr3.size(), "cr3");
    Bytes old;
    putBe(old, 8 + 8 + 100, 4);
    put(old, "moov");
    putBe(old, 108, 4);
    put(old, "mvhd");
    old.resize(old.size() + 100, std::byte{0});
    box(old, "mdat", 700);
    expectWhole(walk(old), old.size(), "mov");
}

// Matroska: the segment's size ends it; a segment of unknown size ends after
// its last top-level element.
TEST(CarveWalkers, MatroskaSegments)
{
    Bytes head;
    putBe(head, 0x1A45DFA3, 4);
    head.push_back(std::byte{0x87}); // 7 bytes
    putBe(head, 0x4282, 2);
    head.push_back(std::byte{0x84});
    put(head, "webm");
    Bytes known = head;
    putBe(known, 0x18538067, 4);
    putBe(known, 0x0100000000000400, 8); // 1024 bytes
    known.resize(known.size() + 1024, std::byte{0x11});
    const std::size_t end = known.size();
    known.resize(end + 100, std::byte{0});
    expectWhole(walk(known), end, "webm");
    expectIncomplete(walk(known, 500), 500);

    Bytes live = head;
    putBe(live, 0x18538067, 4);
    live.push_back(std::byte{0xFF}); // unknown
    for (int i = 0; i < 3; ++i) {
        putBe(live, 0x1F43B675, 4); // a cluster
        putBe(live, 0x4100 + 200, 2);
        live.resize(live.size() + 0x100 + 200, std::byte{0x42});
    }
    const std::size_t liveEnd = live.size();
    live.resize(liveEnd + 64, std::byte{0});
    expectWhole(walk(live), liveEnd, "webm");
}

// Compound files end after the last sector the allocation table does not
// mark free; a table that names sectors past itself is not trusted.
TEST(CarveWalkers, CompoundFileBySectorTable)
{
    const fs::path ppt = fs::path(SARVIK_SOURCE_DIR) / "tests/third-party/format-samples/FlashPix.ppt";
    Bytes b = test::readImageFile(ppt);
    const std::size_t end = b.size();
    b.resize(end + 4096, std::byte{0});
    expectWhole(walk(b), end, "ppt");
    expectIncomplete(walk(b, end - 700), end - 700);
    Bytes bogus = b;
    setLe(bogus, 0x2C, 0x01000000, 4); // more table sectors than the bytes hold
    EXPECT_EQ(walk(bogus).status, carve::WalkStatus::Incomplete);
    EXPECT_EQ(walk(bogus).length, 512u);
}

// RAR 4 and 5 and 7z: blocks and headers checked by their CRCs, the end block
// or the next header ending the archive.
TEST(CarveWalkers, RarAndSevenZip)
{
    Bytes rar5;
    put(rar5, std::string_view("Rar!\x1A\x07\x01\x00", 8));
    const auto block = [&](std::uint8_t type, std::uint8_t flags, std::size_t data) {
        Bytes h;
        h.push_back(static_cast<std::byte>(type));
        h.push_back(static_cast<std::byte>(flags));
        if ((flags & 2) != 0)
            h.push_back(static_cast<std::byte>(data)); // < 128: one byte
        Bytes sized;
        sized.push_back(static_cast<std::byte>(h.size()));
        sized.insert(sized.end(), h.begin(), h.end());
        putLe(rar5, carve::crc32(sized), 4);
        rar5.insert(rar5.end(), sized.begin(), sized.end());
        rar5.resize(rar5.size() + data, std::byte{0x77});
    };
    block(1, 0, 0);   // main archive header
    block(2, 2, 100); // a file and its data
    block(5, 0, 0);   // end of archive
    const std::size_t end = rar5.size();
    rar5.resize(end + 50, std::byte{0});
    expectWhole(walk(rar5), end, "rar");
    Bytes broken = rar5;
    broken[end - 3] ^= std::byte{1}; // the end block's header
    EXPECT_EQ(walk(broken).status, carve::WalkStatus::Incomplete);

    // RAR 4: blocks whose header CRC is the low half of a CRC-32; a file
    // header's packed data after it; archives of old versions end without an end block.
    Bytes rar4;
    put(rar4, std::string_view("Rar!\x1A\x07\x00", 7));
    const auto block4 = [&rar4](std::uint8_t type, std::uint16_t flags, Bytes fields, std::size_t data) {
        Bytes h;
        h.push_back(static_cast<std::byte>(type));
        putLe(h, flags, 2);
        putLe(h, 7 + fields.size(), 2);
        h.insert(h.end(), fields.begin(), fields.end());
        putLe(rar4, carve::crc32(h) & 0xFFFF, 2);
        rar4.insert(rar4.end(), h.begin(), h.end());
        rar4.resize(rar4.size() + data, std::byte{0x66});
    };
    block4(0x73, 0, Bytes(6, std::byte{0}), 0); // archive header
    Bytes file(25, std::byte{0});
    setLe(file, 0, 300, 4); // packed size
    setLe(file, 19, 5, 2);  // name length
    put(file, "a.txt");
    block4(0x74, 0x8000, file, 300);
    const std::size_t beforeEnd = rar4.size();
    block4(0x7B, 0x4000, {}, 0);
    const std::size_t rar4End = rar4.size();
    rar4.resize(rar4End + 30, std::byte{0});
    expectWhole(walk(rar4), rar4End, "rar");
    expectIncomplete(walk(rar4, 200), 200);
    Bytes old(rar4.begin(), rar4.begin() + static_cast<std::ptrdiff_t>(beforeEnd));
    old.resize(beforeEnd + 40, std::byte{0});
    expectWhole(walk(old), beforeEnd, "rar");
    Bytes badCrc = rar4;
    badCrc[7 + 13] ^= std::byte{1};         // the file header's CRC
    expectIncomplete(walk(badCrc), 7 + 13); // the marker and the archive header held
    Bytes noArchive = rar4;
    noArchive[7] ^= std::byte{1}; // the archive header's CRC
    EXPECT_EQ(walk(noArchive).status, carve::WalkStatus::NotThisType);

    Bytes seven;
    put(seven, std::string_view("7z\xBC\xAF\x27\x1C\x00\x04", 8));
    Bytes start;
    putLe(start, 300, 8); // packed streams before the header
    putLe(start, 40, 8);  // the header's size
    Bytes header(40, std::byte{0x01});
    putLe(start, carve::crc32(header), 4);
    putLe(seven, carve::crc32(start), 4);
    seven.insert(seven.end(), start.begin(), start.end());
    seven.resize(seven.size() + 300, std::byte{0x55});
    seven.insert(seven.end(), header.begin(), header.end());
    expectWhole(walk(seven), 32 + 300 + 40, "7z");
    expectIncomplete(walk(seven, 200), 200);
    seven[32 + 300 + 5] = std::byte{0};
    expectIncomplete(walk(seven), 32 + 300);
}

// Text that runs into another file's start (a PDF's header reads as text)
// ends there, and the other file is found.
TEST(CarveWalkers, TextEndsAtTheNextFile)
{
    Bytes image;
    std::string prose;
    while (prose.size() < 1024)
        prose += "Notes about the trip, page " + std::to_string(prose.size()) + ".\n";
    put(image, prose);
    const std::size_t pdfAt = 1024;
    image.resize(pdfAt);
    const Bytes pdf = test::readImageFile(fs::path(SARVIK_SOURCE_DIR) / "tests/fuzz/corpus/carve/pdf-update");
    image.insert(image.end(), pdf.begin(), pdf.end());
    image.resize(image.size() + 600, std::byte{0});
    const disk::MemoryBlockSource source(image);
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    const carve::Extent all{0, source.size()};
    const auto result = carve::Carve(source, {&all, 1}, {}, quiet, control);
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_EQ(result.files[0].type, carve::FileType::Text);
    EXPECT_EQ(result.files[0].length, pdfAt);
    EXPECT_TRUE(result.files[0].complete);
    EXPECT_EQ(result.files[1].offset, pdfAt);
    EXPECT_EQ(result.files[1].extension, "pdf");
}

// --types takes a type's name or an extension one of its files has.
TEST(CarveWalkers, TypesByNameOrExtension)
{
    std::string unknown;
    const auto types = carve::parseTypeList("avi,heic,cr2,xls,webm,m2ts", unknown);
    ASSERT_TRUE(types);
    std::array<bool, carve::kFileTypeCount> expected{};
    for (const auto t : {carve::FileType::Riff, carve::FileType::Mp4, carve::FileType::Tiff, carve::FileType::Ole,
                         carve::FileType::Mkv, carve::FileType::Mts})
        expected[static_cast<std::size_t>(t)] = true;
    EXPECT_EQ(*types, expected);
    EXPECT_FALSE(carve::parseTypeList("jpg,xyz", unknown));
    EXPECT_EQ(unknown, "xyz");
}

// BMP and PSD: sizes that cannot hold the pixels are not the format; PSD's
// run-length rows end it.
TEST(CarveWalkers, BmpAndPsdSizes)
{
    const fs::path dir = fs::path(SARVIK_SOURCE_DIR) / "tests/third-party/format-samples";
    Bytes bmp = test::readImageFile(dir / "BMP.bmp");
    expectWhole(walk(bmp), bmp.size(), "bmp");
    setLe(bmp, 2, bmp.size() - 10, 4); // too small for its pixels
    EXPECT_EQ(walk(bmp).status, carve::WalkStatus::NotThisType);

    Bytes psd;
    put(psd, "8BPS");
    putBe(psd, 1, 2);
    putBe(psd, 0, 6);
    putBe(psd, 3, 2);  // channels
    putBe(psd, 4, 4);  // height
    putBe(psd, 10, 4); // width
    putBe(psd, 8, 2);
    putBe(psd, 3, 2);
    putBe(psd, 0, 4); // no colour mode data
    putBe(psd, 12, 4);
    put(psd, "8BIM");
    putBe(psd, 0x040C, 2);
    putBe(psd, 0, 6);
    putBe(psd, 0, 4); // no layers
    putBe(psd, 1, 2); // run-length coded
    for (int row = 0; row < 12; ++row)
        putBe(psd, 3, 2);
    psd.resize(psd.size() + 12 * 3, std::byte{0x7F});
    const std::size_t end = psd.size();
    psd.resize(end + 40, std::byte{0});
    expectWhole(walk(psd), end, "psd");
    expectIncomplete(walk(psd, end - 1), end - 1);
}

// Fujifilm raw: the furthest of the header's pieces, and a second readout's
// pieces where they follow the first's.
TEST(CarveWalkers, RafPieces)
{
    Bytes raf;
    put(raf, "FUJIFILMCCD-RAW 0201FF383501");
    raf.resize(0x94, std::byte{0});
    const auto piece = [&raf](std::size_t at, std::uint32_t offset, std::uint32_t length) {
        for (unsigned i = 0; i < 4; ++i) {
            raf[at + i] = static_cast<std::byte>(offset >> (24 - 8 * i));
            raf[at + 4 + i] = static_cast<std::byte>(length >> (24 - 8 * i));
        }
    };
    piece(0x54, 0x100, 0x200);  // JPEG
    piece(0x5C, 0x300, 0x100);  // metadata
    piece(0x64, 0x400, 0x1000); // sensor data: to 0x1400
    piece(0x78, 0x1400, 0x200); // a second readout after it
    piece(0x80, 0x1600, 0x50);
    raf.resize(0x1700, std::byte{0});
    raf[0x100] = std::byte{0xFF};
    raf[0x101] = std::byte{0xD8};
    expectWhole(walk(raf), 0x1650, "raf");
    piece(0x78, 0x9000, 0x200); // not after the first: not a piece
    expectWhole(walk(raf), 0x1400, "raf");
    expectIncomplete(walk(raf, 0x1000), 0x1000);
}

// TIFF-based raw files end at the furthest piece any IFD names: a maker note
// past the strips counts; Olympus and Panasonic starts are TIFF too.
TEST(CarveWalkers, RawFilesReachTheirMakerNotes)
{
    for (const std::string_view magic :
         {std::string_view("II*\0", 4), std::string_view("IIRO"), std::string_view("IIU\0", 4)}) {
        SCOPED_TRACE(std::string(magic.substr(0, 3)));
        Bytes t;
        put(t, magic);
        putLe(t, 8, 4);
        putLe(t, 3, 2); // IFD0: strip offset, strip byte count, EXIF IFD
        const auto entry = [&t](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
            putLe(t, tag, 2);
            putLe(t, type, 2);
            putLe(t, count, 4);
            putLe(t, value, 4);
        };
        entry(0x0111, 4, 1, 0x100);
        entry(0x0117, 4, 1, 0x300);
        entry(0x8769, 4, 1, 0x60);
        putLe(t, 0, 4);
        t.resize(0x60, std::byte{0});
        putLe(t, 1, 2); // EXIF IFD: a maker note
        entry(0x927C, 7, 0x800, 0x500);
        putLe(t, 0, 4);
        t.resize(0x500 + 0x800 + 100, std::byte{0x3C});
        const char* extension = magic == "IIRO" ? "orf" : magic == std::string_view("IIU\0", 4) ? "rw2" : "tif";
        expectWhole(walk(t), 0xD00, extension);
        expectIncomplete(walk(t, 0x900), 0x900);
    }
}

// Random bytes, in units of 512 bytes and of 4 KiB: no file at all, whatever
// weak signatures (an MPEG audio frame header, a transport stream's sync byte,
// "BM", a UTF-16 byte order mark) their units start with. UTF-16 text is
// told from random units by its script: one, besides ASCII.
TEST(CarveWalkers, RandomBytesGiveNoFile)
{
    Bytes bytes;
    fill(bytes, std::size_t{48} << 20, 20261210);
    // Units that start with the weak signatures, and random bytes after them.
    for (std::size_t at = 0; at + 8192 < bytes.size(); at += 8192 * 7) {
        const std::size_t kind = (at / 8192) % 4;
        if (kind == 0)
            std::memcpy(bytes.data() + at, "\xFF\xFB\x90\x00", 4);
        else if (kind == 1)
            std::memcpy(bytes.data() + at + 4, "\x47\x40\x00\x10", 4);
        else if (kind == 2)
            std::memcpy(bytes.data() + at, "BM", 2);
        else
            std::memcpy(bytes.data() + at, "\xFE\xFF", 2); // UTF-16 text's byte order mark
    }
    const disk::MemoryBlockSource source(std::move(bytes));
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    const carve::Extent all{0, source.size()};
    for (const std::uint64_t unit : {std::uint64_t{512}, std::uint64_t{4096}}) {
        carve::CarveOptions options;
        options.unitBytes = unit;
        const auto result = carve::Carve(source, {&all, 1}, options, quiet, control);
        EXPECT_TRUE(result.files.empty()) << unit << ": " << result.files.size() << " files, the first "
                                          << (result.files.empty() ? "" : result.files[0].extension);
    }
    const auto utf16 = [](std::u16string_view text, bool bigEndian) {
        Bytes b;
        putBe(b, bigEndian ? 0xFEFF : 0xFFFE, 2);
        for (const char16_t c : text)
            bigEndian ? putBe(b, c, 2) : putLe(b, c, 2);
        return b;
    };
    const auto head = [](const Bytes& b) { return disk::ByteSpan(b).first(carve::kSignatureBytes); };
    EXPECT_TRUE(
        carve::looksLikeTextStart(head(utf16(u"\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440", false))));
    EXPECT_TRUE(carve::looksLikeTextStart(head(utf16(u"\u3053\u3093\u306B\u3061\u306F\u4E16\u754C\u3002", true))));
    EXPECT_TRUE(carve::looksLikeTextStart(head(utf16(u"Notes: \u00E9t\u00E9 2026", false))));
    EXPECT_FALSE(carve::looksLikeTextStart(head(utf16(u"\u041F\u0440\u0438\u4E16\u754C\uAC00\uAC01", false))))
        << "three scripts in seven characters";
    EXPECT_FALSE(carve::looksLikeTextStart(head(utf16(u"\uD5BC\uC90D\u9B22\uAE9D\u2500\uCAAF\uA20D", true))));
}

// The dates files keep: EXIF's DateTimeOriginal (before IFD0's DateTime) in a
// JPEG's APP1 segment, in either byte order; a movie header's creation time
// (seconds since 1904, UTC); FAT's packed form of them. Dates that are not
// dates give none.
TEST(CarveWalkers, FilesOwnDates)
{
    EXPECT_EQ(carve::exifDateTime("2023:08:09 07:06:05"), 1691564765);
    EXPECT_EQ(carve::exifDateTime("0000:00:00 00:00:00"), 0);
    EXPECT_EQ(carve::exifDateTime("2023:13:09 07:06:05"), 0);
    EXPECT_EQ(carve::exifDateTime("2023-08-0x 07:06:05"), 0);
    EXPECT_EQ(carve::exifDateTime("2023:08:09"), 0);

    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        const auto num = [big](Bytes& b, std::uint64_t v, unsigned width) {
            big ? putBe(b, v, width) : putLe(b, v, width);
        };
        Bytes tiff;
        put(tiff, big ? std::string_view("MM\0*", 4) : std::string_view("II*\0", 4));
        num(tiff, 8, 4);
        num(tiff, 2, 2); // IFD0: DateTime, then the EXIF IFD
        for (const auto& [tag, type, count, value] :
             {std::tuple{0x0132u, 2u, 20u, 38u}, std::tuple{0x8769u, 4u, 1u, 58u}}) {
            num(tiff, tag, 2);
            num(tiff, type, 2);
            num(tiff, count, 4);
            num(tiff, value, 4);
        }
        num(tiff, 0, 4);
        put(tiff, std::string_view("2001:02:03 04:05:06\0", 20)); // at 38
        num(tiff, 1, 2);                                          // the EXIF IFD at 58
        num(tiff, 0x9003, 2);
        num(tiff, 2, 2);
        num(tiff, 20, 4);
        num(tiff, 76, 4);
        num(tiff, 0, 4);
        put(tiff, std::string_view("2023:08:09 07:06:05\0", 20)); // at 76
        EXPECT_EQ(carve::exifTime(tiff), 1691564765);
        Bytes noOriginal = tiff;
        noOriginal[big ? 61 : 60] = std::byte{0x04}; // the tag becomes 0x9004
        EXPECT_EQ(carve::exifTime(noOriginal), carve::exifDateTime("2001:02:03 04:05:06"));
    }

    // In a JPEG: SOI, APP1 "Exif", then the image carve_files-style.
    const fs::path seeds = fs::path(SARVIK_SOURCE_DIR) / "tests/fuzz/corpus/carve";
    const Bytes plain = test::readImageFile(seeds / "jpeg-thumb");
    ASSERT_EQ(walk(plain).status, carve::WalkStatus::Whole);
    Bytes exif{std::byte{0xFF}, std::byte{0xD8}};
    Bytes tiff;
    put(tiff, std::string_view("II*\0\x08\0\0\0\x01\0\x32\x01\x02\0\x14\0\0\0\x1A\0\0\0\0\0\0\0", 26)); // DateTime
    put(tiff, std::string_view("2019:12:31 23:59:58\0", 20));
    putBe(exif, 0xFFE1, 2);
    putBe(exif, 2 + 6 + tiff.size(), 2);
    put(exif, std::string_view("Exif\0\0", 6));
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    exif.insert(exif.end(), plain.begin() + 2, plain.end());
    const carve::WalkResult photo = walk(exif);
    EXPECT_EQ(photo.status, carve::WalkStatus::Whole);
    EXPECT_EQ(photo.time, carve::exifDateTime("2019:12:31 23:59:58"));
    EXPECT_TRUE(photo.timeIsLocal);

    Bytes movie;
    putBe(movie, 20, 4);
    put(movie, "ftypqt  ");
    putBe(movie, 0, 4);
    put(movie, "qt  ");
    putBe(movie, 8 + 8 + 100, 4);
    put(movie, "moov");
    putBe(movie, 108, 4);
    put(movie, "mvhd");
    putBe(movie, 0, 4);                         // version 0
    putBe(movie, 2082844800u + 1715941230u, 4); // 2024-05-17 10:20:30 UTC
    movie.resize(movie.size() + 92, std::byte{0});
    box(movie, "mdat", 64);
    const carve::WalkResult clip = walk(movie);
    expectWhole(clip, movie.size(), "mov");
    EXPECT_EQ(clip.time, 1715941230);
    EXPECT_FALSE(clip.timeIsLocal);

    carve::CarvedFile f;
    f.time = 1691564765; // 2023-08-09 07:06:05
    const auto packed = carve::fatDateTimeOf(f);
    ASSERT_TRUE(packed);
    EXPECT_EQ(packed->first, ((2023 - 1980) << 9) | (8 << 5) | 9);
    EXPECT_EQ(packed->second, (7 << 11) | (6 << 5) | 2);
    EXPECT_EQ(carve::timeText(f), "2023-08-09 07:06:05 UTC");
    EXPECT_EQ(carve::fileTimeOf(f), 116444736000000000ull + 16915647650000000ull);
    f.time = 100; // 1970: before FAT's first year
    EXPECT_FALSE(carve::fatDateTimeOf(f));
    f.time = 0;
    EXPECT_EQ(carve::timeText(f), "");
    EXPECT_EQ(carve::fileTimeOf(f), 0u);
}

// A JPEG in two pieces with a PNG and random units between them: joined whole
// when the gap is within the bound (the PNG found between the pieces, the
// second piece's units not searched again), left incomplete when it is not,
// or when what follows is not the rest of it.
TEST(CarveJoin, JpegInTwoPieces)
{
    const fs::path seeds = fs::path(SARVIK_SOURCE_DIR) / "tests/fuzz/corpus/carve";
    const Bytes jpeg = test::readImageFile(seeds / "jpeg-thumb");
    const Bytes png = test::readImageFile(seeds / "png");
    constexpr std::size_t kUnit = 512;
    constexpr std::size_t kFirst = 5 * kUnit;
    ASSERT_GT(jpeg.size(), kFirst + kUnit);
    const auto units = [](std::size_t n) { return (n + kUnit - 1) / kUnit * kUnit; };

    Bytes image;
    fill(image, 4 * kUnit, 11);
    const std::size_t start = image.size();
    image.insert(image.end(), jpeg.begin(), jpeg.begin() + kFirst);
    const std::size_t pngAt = image.size();
    image.insert(image.end(), png.begin(), png.end());
    image.resize(pngAt + units(png.size()), std::byte{0});
    fill(image, kUnit, 12);
    const std::size_t second = image.size();
    image.insert(image.end(), jpeg.begin() + kFirst, jpeg.end());
    image.resize(units(image.size()), std::byte{0});
    fill(image, 6 * kUnit, 13);
    const std::size_t gap = (second - pngAt) / kUnit;

    const disk::MemoryBlockSource source(image);
    catalogue::ScanObserver quiet;
    catalogue::ScanControl control;
    const carve::Extent all{0, source.size()};
    carve::CarveOptions options;
    options.joinUnits = gap;
    auto result = carve::Carve(source, {&all, 1}, options, quiet, control);
    ASSERT_EQ(result.files.size(), 2u);
    const carve::CarvedFile& joined = result.files[0];
    EXPECT_EQ(joined.offset, start);
    EXPECT_TRUE(joined.complete);
    EXPECT_EQ(joined.length, jpeg.size());
    ASSERT_EQ(joined.pieces.size(), 2u);
    EXPECT_EQ(joined.pieces[0].offset, start);
    EXPECT_EQ(joined.pieces[0].length, kFirst);
    EXPECT_EQ(joined.pieces[1].offset, second);
    EXPECT_EQ(joined.pieces[1].length, jpeg.size() - kFirst);
    EXPECT_EQ(result.files[1].offset, pngAt);
    EXPECT_EQ(result.files[1].length, png.size());

    options.joinUnits = gap - 1; // the bound falls short of the second piece
    result = carve::Carve(source, {&all, 1}, options, quiet, control);
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_FALSE(result.files[0].complete);
    EXPECT_TRUE(result.files[0].pieces.empty());
    EXPECT_LT(result.files[0].length, kFirst + kUnit);

    options.joinUnits = 0;
    result = carve::Carve(source, {&all, 1}, options, quiet, control);
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_FALSE(result.files[0].complete);

    // The rest overwritten: nothing joins, however far it looks.
    Bytes lost = image;
    std::mt19937 rng(14);
    for (std::size_t i = second; i < second + units(jpeg.size() - kFirst); ++i)
        lost[i] = static_cast<std::byte>(rng() & 0xFF);
    const disk::MemoryBlockSource lostSource(lost);
    options.joinUnits = 32;
    result = carve::Carve(lostSource, {&all, 1}, options, quiet, control);
    ASSERT_GE(result.files.size(), 2u);
    EXPECT_FALSE(result.files[0].complete);
    EXPECT_TRUE(result.files[0].pieces.empty());
}
