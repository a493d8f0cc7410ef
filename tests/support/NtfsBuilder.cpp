// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/NtfsBuilder.h"

#include <stdexcept>

namespace sarvik::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, std::size_t offset, unsigned width, std::uint64_t value)
{
    if (b.size() < offset + width)
        b.resize(offset + width);
    for (unsigned i = 0; i < width; ++i)
        b[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::size_t align8(std::size_t n)
{
    return (n + 7) & ~std::size_t{7};
}

/// Narrowest little-endian width that holds `value` as a signed number.
unsigned signedWidth(std::int64_t value)
{
    for (unsigned w = 1; w < 8; ++w) {
        const std::int64_t lo = -(std::int64_t{1} << (8 * w - 1));
        const std::int64_t hi = (std::int64_t{1} << (8 * w - 1)) - 1;
        if (value >= lo && value <= hi)
            return w;
    }
    return 8;
}

unsigned unsignedWidth(std::uint64_t value)
{
    unsigned w = 1;
    while (w < 8 && (value >> (8 * w)) != 0)
        ++w;
    return w;
}

// Header of the attribute's common part; `nameLength` in UTF-16 units.
Bytes header(std::uint32_t type, std::uint8_t nonResident, std::uint8_t nameLength, std::uint16_t nameOffset)
{
    Bytes a(16, 0);
    put(a, 0, 4, type);
    a[8] = nonResident;
    a[9] = nameLength;
    put(a, 10, 2, nameOffset);
    return a;
}

void putName(Bytes& a, std::size_t offset, std::u16string_view name)
{
    for (std::size_t i = 0; i < name.size(); ++i)
        put(a, offset + 2 * i, 2, name[i]);
}

Bytes resident(std::uint32_t type, std::u16string_view name, const Bytes& value)
{
    const std::size_t nameOffset = 24;
    const std::size_t valueOffset = align8(nameOffset + 2 * name.size());
    Bytes a = header(type, 0, static_cast<std::uint8_t>(name.size()), static_cast<std::uint16_t>(nameOffset));
    a.resize(24, 0);
    put(a, 16, 4, value.size());
    put(a, 20, 2, valueOffset);
    putName(a, nameOffset, name);
    a.resize(valueOffset, 0);
    a.insert(a.end(), value.begin(), value.end());
    a.resize(align8(a.size()), 0);
    return a;
}

Bytes nonResident(std::uint32_t type, std::u16string_view name, std::uint64_t realSize, const Bytes& runs)
{
    const std::size_t nameOffset = 64;
    const std::size_t runsOffset = align8(nameOffset + 2 * name.size());
    Bytes a = header(type, 1, static_cast<std::uint8_t>(name.size()), static_cast<std::uint16_t>(nameOffset));
    a.resize(64, 0);
    put(a, 32, 2, runsOffset);
    put(a, 40, 8, (realSize + 4095) & ~std::uint64_t{4095});
    put(a, 48, 8, realSize);
    put(a, 56, 8, realSize);
    putName(a, nameOffset, name);
    a.resize(runsOffset, 0);
    a.insert(a.end(), runs.begin(), runs.end());
    a.resize(align8(a.size()), 0);
    return a;
}

constexpr std::size_t kUpdateSequenceArray = 0x30;
constexpr std::size_t kFirstAttribute = 0x38;
constexpr std::uint16_t kSequenceNumber = 0x0A0B;

} // namespace

std::vector<std::uint8_t> encodeRuns(const std::vector<ClusterRun>& runs)
{
    Bytes out;
    std::int64_t previous = 0;
    for (const ClusterRun& run : runs) {
        const unsigned lw = unsignedWidth(run.clusters);
        unsigned ow = 0;
        std::int64_t delta = 0;
        if (run.lcn) {
            delta = *run.lcn - previous;
            ow = signedWidth(delta);
            previous = *run.lcn;
        }
        out.push_back(static_cast<std::uint8_t>((ow << 4) | lw));
        for (unsigned i = 0; i < lw; ++i)
            out.push_back(static_cast<std::uint8_t>(run.clusters >> (8 * i)));
        for (unsigned i = 0; i < ow; ++i)
            out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(delta) >> (8 * i)));
    }
    out.push_back(0);
    return out;
}

std::vector<std::uint8_t> encodeListEntries(const std::vector<ListEntry>& entries)
{
    Bytes out;
    for (const ListEntry& e : entries) {
        const std::size_t at = out.size();
        out.resize(at + std::max<std::size_t>(e.length, 20), 0);
        put(out, at + 0, 4, e.type);
        put(out, at + 4, 2, e.length);
        put(out, at + 8, 8, e.startVcn);
        put(out, at + 16, 8, (std::uint64_t{e.sequence} << 48) | e.record);
        put(out, at + 24, 2, e.attributeId);
        // A short length makes the next entry overlap this one, as in a damaged
        // list; after a length of 0 (which ends any walk) the next one follows whole.
        out.resize(at + (e.length == 0 ? 20 : e.length));
    }
    return out;
}

MftRecordBuilder::MftRecordBuilder(std::uint8_t flags) : m_flags(flags) {}

void MftRecordBuilder::add(std::vector<std::uint8_t> attribute)
{
    put(attribute, 4, 4, attribute.size());
    m_attributes.push_back(std::move(attribute));
}

MftRecordBuilder& MftRecordBuilder::fileName(std::u16string_view name, std::uint32_t parent, std::uint8_t nameSpace,
                                             std::uint64_t created, std::uint64_t modified)
{
    Bytes value(66 + 2 * name.size(), 0);
    put(value, 0, 8, (std::uint64_t{1} << 48) | parent); // sequence number 1 in the high bits
    put(value, 8, 8, created);
    put(value, 24, 8, modified);
    value[64] = static_cast<std::uint8_t>(name.size());
    value[65] = nameSpace;
    putName(value, 66, name);
    add(resident(ntfs::AttributeType::FileName, u"", value));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::standardInformation(std::uint64_t created, std::uint64_t recordChanged)
{
    Bytes value(72, 0);
    put(value, 0, 8, created);
    put(value, 8, 8, created + 1); // data changed
    put(value, 16, 8, recordChanged);
    put(value, 24, 8, created + 2); // read
    add(resident(ntfs::AttributeType::StandardInformation, u"", value));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::residentData(std::uint32_t size, std::u16string_view streamName)
{
    Bytes value(size, 0x5A);
    add(resident(ntfs::AttributeType::Data, streamName, value));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::nonResidentData(std::uint64_t realSize, const std::vector<std::uint8_t>& runs,
                                                    std::u16string_view streamName)
{
    add(nonResident(ntfs::AttributeType::Data, streamName, realSize, runs));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::dataExtent(std::uint64_t lowestVcn, std::uint64_t clusters, std::uint64_t realSize,
                                               const std::vector<std::uint8_t>& runs, std::uint16_t id,
                                               std::uint8_t compressionShift)
{
    Bytes a = nonResident(ntfs::AttributeType::Data, u"", lowestVcn == 0 ? realSize : 0, runs);
    put(a, 14, 2, id);
    put(a, 16, 8, lowestVcn);
    put(a, 24, 8, lowestVcn + clusters - 1);
    if (lowestVcn != 0)
        put(a, 40, 8, 0); // only the first extent carries the allocated size
    if (compressionShift != 0) {
        put(a, 12, 2, 0x0001);
        a[34] = compressionShift;
    }
    add(std::move(a));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::sequence(std::uint16_t value)
{
    m_sequence = value;
    return *this;
}

MftRecordBuilder& MftRecordBuilder::baseRecord(std::uint32_t number, std::uint16_t sequenceNumber)
{
    m_baseReference = (std::uint64_t{sequenceNumber} << 48) | number;
    return *this;
}

MftRecordBuilder& MftRecordBuilder::attributeList(const std::vector<ListEntry>& entries)
{
    add(resident(ntfs::AttributeType::AttributeList, u"", encodeListEntries(entries)));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::nonResidentAttributeList(std::uint64_t realSize,
                                                             const std::vector<std::uint8_t>& runs)
{
    add(nonResident(ntfs::AttributeType::AttributeList, u"", realSize, runs));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::indexAllocation(const std::vector<std::uint8_t>& runs)
{
    add(nonResident(ntfs::AttributeType::IndexAllocation, u"$I30", 4096, runs));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::raw(std::uint32_t type, std::uint8_t nonResidentByte,
                                        const std::vector<std::uint8_t>& body)
{
    Bytes a = header(type, nonResidentByte, 0, 0);
    a.insert(a.end(), body.begin(), body.end());
    a.resize(align8(a.size()), 0);
    add(std::move(a));
    return *this;
}

MftRecordBuilder& MftRecordBuilder::noEndMarker()
{
    m_endMarker = false;
    return *this;
}

std::size_t MftRecordBuilder::attributeOffset(std::size_t index) const
{
    std::size_t offset = kFirstAttribute;
    for (std::size_t i = 0; i < index; ++i)
        offset += m_attributes.at(i).size();
    return offset;
}

ntfs::MftRecord MftRecordBuilder::build(bool protect) const
{
    Bytes r(ntfs::kMftRecordSize, 0);
    put(r, 0, 4, 0x454C4946); // "FILE"
    put(r, 4, 2, kUpdateSequenceArray);
    put(r, 6, 2, 3);
    put(r, 16, 2, m_sequence);
    put(r, 32, 8, m_baseReference);
    put(r, 20, 2, kFirstAttribute);
    put(r, 22, 2, m_flags);
    put(r, 28, 4, ntfs::kMftRecordSize);
    std::size_t offset = kFirstAttribute;
    for (const Bytes& a : m_attributes) {
        if (offset + a.size() > r.size())
            throw std::length_error("attributes do not fit in the record");
        std::copy(a.begin(), a.end(), r.begin() + static_cast<std::ptrdiff_t>(offset));
        offset += a.size();
    }
    if (m_endMarker) {
        if (offset + 8 > r.size())
            throw std::length_error("no room for the end marker");
        put(r, offset, 4, ntfs::AttributeType::End);
        offset += 8;
    }
    put(r, 24, 4, offset);
    // Unused sector ends get values that a missing fixup would show.
    if (offset <= 510)
        put(r, 510, 2, 0x1234);
    if (offset <= 1022)
        put(r, 1022, 2, 0x5678);
    if (protect) {
        put(r, kUpdateSequenceArray, 2, kSequenceNumber);
        for (std::size_t k = 0; k < 2; ++k) {
            const std::size_t end = 510 + 512 * k;
            r[kUpdateSequenceArray + 2 + 2 * k] = r[end];
            r[kUpdateSequenceArray + 3 + 2 * k] = r[end + 1];
            put(r, end, 2, kSequenceNumber);
        }
    }
    ntfs::MftRecord out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::byte>(r[i]);
    return out;
}

NtfsImage::NtfsImage(std::size_t sectors, std::uint8_t sectorsPerCluster, std::uint32_t mftCluster,
                     std::uint32_t mftRecords)
    : m_image(ntfsBoot(sectors, sectorsPerCluster, mftCluster, 1)),
      m_mftSector(std::uint64_t{mftCluster} * sectorsPerCluster)
{
    const std::uint64_t mftBytes = std::uint64_t{mftRecords} * ntfs::kMftRecordSize;
    const std::uint64_t clusterBytes = std::uint64_t{sectorsPerCluster} * 512;
    const std::uint64_t clusters = (mftBytes + clusterBytes - 1) / clusterBytes;
    put(0, MftRecordBuilder()
               .fileName(u"$MFT", 5, ntfs::FileNamespace::Win32AndDos)
               .nonResidentData(mftBytes, encodeRuns({{clusters, mftCluster}}))
               .build());
    put(5, MftRecordBuilder(ntfs::RecordFlags::FolderInUse)
               .fileName(u".", 5, ntfs::FileNamespace::Win32AndDos)
               .indexAllocation(encodeRuns({{1, mftCluster + clusters}}))
               .build());
}

void NtfsImage::put(std::uint32_t recordNumber, const ntfs::MftRecord& record)
{
    putAt(recordSector(recordNumber), record);
}

void NtfsImage::putAt(std::uint64_t sector, const ntfs::MftRecord& record)
{
    auto& bytes = m_image.bytes();
    const std::uint64_t at = sector * 512;
    if (at + record.size() > bytes.size())
        throw std::out_of_range("record outside the image");
    std::copy(record.begin(), record.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

bool NtfsImage::select(disk::SelectedVolume& volume) const
{
    return selectImage(volume, m_image) && volume.info.FileSystemKind == disk::VolumeKind::Ntfs;
}

std::u16string u16(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

} // namespace sarvik::test
