#include "ntfs/MftRecord.h"

namespace sarvik::ntfs {

namespace {

using disk::ByteReader;

// The walks below stop where an offset reaches this: an attribute header that
// starts on the record's last byte cannot hold anything.
constexpr std::int64_t kLastOffset = static_cast<std::int64_t>(kMftRecordSize) - 1; // 1023

// Update-sequence entries are taken only from the record's first 84 bytes.
constexpr std::uint64_t kUpdateSequenceLimit = 84;

std::int64_t s16(const ByteReader& r, std::uint64_t offset)
{
    return static_cast<std::int16_t>(r.u16or0(offset));
}

/// Where the attribute walk of the look-ups starts, or nothing when the offset
/// lies outside the record.
std::optional<std::int64_t> firstAttribute(const ByteReader& r)
{
    if (!r.has(kRecordFirstAttribute, 2))
        return std::nullopt;
    const std::int64_t offset = s16(r, kRecordFirstAttribute);
    if (offset < 0 || offset >= kLastOffset)
        return std::nullopt;
    return offset;
}

/// Steps over the attribute at `offset` by its 32-bit length; nothing when the
/// length is 0 or the next offset reaches the record's last byte.
std::optional<std::int64_t> nextAttribute(const ByteReader& r, std::int64_t offset)
{
    const std::uint32_t length = r.u32or0(static_cast<std::uint64_t>(offset) + kAttrLength);
    if (length == 0)
        return std::nullopt;
    const std::int64_t next = offset + std::int64_t{length};
    if (next >= kLastOffset)
        return std::nullopt;
    return next;
}

/// Type of the attribute at `offset`, or nothing when it ends the walk (end
/// marker, type 0, or a header that is not inside the record).
std::optional<std::uint32_t> attributeType(const ByteReader& r, std::int64_t offset)
{
    const auto type = r.u32(static_cast<std::uint64_t>(offset) + kAttrType);
    if (!type || *type == 0 || *type == AttributeType::End)
        return std::nullopt;
    return type;
}

} // namespace

void ApplyRecordFixup(disk::MutableByteSpan record) noexcept
{
    const ByteReader r(record);
    const std::uint64_t array = r.u16or0(kRecordUpdateSequence);
    const std::int64_t words = r.u16or0(kRecordUpdateCount);
    const std::uint64_t size = record.size();
    for (std::int64_t k = 0; k < words - 1; ++k) {
        const std::uint64_t target = 510 + 512 * static_cast<std::uint64_t>(k);
        const std::uint64_t source = array + 2 + 2 * static_cast<std::uint64_t>(k);
        if (target + 1 >= size || source >= kUpdateSequenceLimit)
            break;
        record[static_cast<std::size_t>(target)] = record[static_cast<std::size_t>(source)];
        if (source + 1 >= kUpdateSequenceLimit)
            break; // the entry's second byte would lie outside the first 84 bytes
        record[static_cast<std::size_t>(target + 1)] = record[static_cast<std::size_t>(source + 1)];
    }
}

bool hasFileSignature(disk::ByteSpan record) noexcept
{
    return ByteReader(record).equals(kRecordSignature, "FILE");
}

void CollectAttributeRecords(disk::ByteSpan record, AttributeRecordTable& table) noexcept
{
    const ByteReader r(record);
    if (!r.has(kRecordFirstAttribute, 2))
        return;
    std::int64_t offset = s16(r, kRecordFirstAttribute);
    if (offset < 0)
        return;
    while (offset <= kLastOffset) {
        const auto type = attributeType(r, offset);
        if (!type)
            return;
        const auto at = static_cast<std::uint64_t>(offset);
        if (*type == AttributeType::AttributeList && r.u8or0(at + kAttrNonResident) == 0) {
            // A resident list: its entries run from the value to the end of the attribute.
            const std::int64_t valueOffset = s16(r, at + kAttrValueOffset);
            if (valueOffset <= 0 || valueOffset >= kLastOffset)
                return;
            std::int64_t entry = offset + valueOffset;
            if (entry >= kLastOffset)
                return;
            const std::int64_t end = offset + std::int64_t{r.u32or0(at + kAttrLength)};
            while (entry < end) {
                const auto e = static_cast<std::uint64_t>(entry);
                const auto entryType = r.u32(e + kListEntryType);
                const auto holder = r.u32(e + kListEntryRecord);
                if (!entryType || !holder || *entryType == 0 || *entryType == AttributeType::End)
                    return;
                if (!table.append(*holder))
                    return;
                const std::int64_t length = s16(r, e + kListEntryLength);
                if (length <= 0 || length > kLastOffset)
                    return;
                entry += length;
            }
            return;
        }
        const std::uint32_t length = r.u32or0(at + kAttrLength);
        if (length == 0 || length > kMftRecordSize)
            return;
        offset += length;
    }
}

FileNameOffsets LocateFileNames(disk::ByteSpan record) noexcept
{
    FileNameOffsets found;
    const ByteReader r(record);
    auto offset = firstAttribute(r);
    while (offset) {
        const auto type = attributeType(r, *offset);
        if (!type)
            break;
        const auto at = static_cast<std::uint64_t>(*offset);
        if (*type == AttributeType::FileName && r.u8or0(at + kAttrNameLength) == 0) {
            const std::int64_t value = *offset + s16(r, at + kAttrValueOffset);
            // A value that starts outside the record ends every search.
            if (value < 0 || value > kLastOffset)
                break;
            const auto nameSpace = r.u8(static_cast<std::uint64_t>(value) + kNameNamespace);
            if (nameSpace && *nameSpace < found.value.size() && !found.value[*nameSpace])
                found.value[*nameSpace] = static_cast<std::size_t>(value);
        }
        offset = nextAttribute(r, *offset);
    }
    return found;
}

FileNameInfo ReadFileName(disk::ByteSpan record, std::size_t valueOffset)
{
    const ByteReader r(record);
    FileNameInfo info;
    info.parentRecord = r.u32or0(valueOffset + kNameParent);
    info.created = r.u64or0(valueOffset + kNameCreated);
    info.modified = r.u64or0(valueOffset + kNameModified);
    const unsigned units = r.u8or0(valueOffset + kNameLength);
    info.name.reserve(units);
    for (unsigned i = 0; i < units; ++i) {
        // Only characters that lie wholly inside the record are taken.
        const auto unit = r.u16(valueOffset + kNameText + 2 * std::uint64_t{i});
        if (!unit)
            break;
        const auto low = static_cast<char>(*unit & 0xFF);
        // The name is 8-bit text ending at a zero byte: a unit whose low byte is
        // zero ends it, as it would end the zero-terminated copy.
        if (low == '\0')
            break;
        info.name.push_back(low);
    }
    return info;
}

std::optional<FileNameInfo> FindFileName(disk::ByteSpan record, std::uint8_t nameSpace)
{
    if (nameSpace >= FileNameOffsets{}.value.size())
        return std::nullopt;
    // The first attribute of the wanted name space is the one a walk that stops
    // there would meet: later attributes cannot change what came before it.
    const auto value = LocateFileNames(record).value[nameSpace];
    if (!value)
        return std::nullopt;
    return ReadFileName(record, *value);
}

std::optional<std::uint64_t> FindDataAttribute(disk::ByteSpan record) noexcept
{
    const ByteReader r(record);
    auto offset = firstAttribute(r);
    while (offset) {
        const auto type = attributeType(r, *offset);
        if (!type)
            return std::nullopt;
        const auto at = static_cast<std::uint64_t>(*offset);
        if (*type == AttributeType::Data && r.u8or0(at + kAttrNameLength) == 0) {
            if (r.u8or0(at + kAttrNonResident) == 1)
                return r.u64or0(at + kAttrRealSize);
            return std::uint64_t{r.u32or0(at + kAttrValueLength)};
        }
        offset = nextAttribute(r, *offset);
    }
    return std::nullopt;
}

} // namespace sarvik::ntfs
