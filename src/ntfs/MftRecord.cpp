// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/MftRecord.h"

#include <algorithm>

namespace sarvik::ntfs {

namespace {

using disk::ByteReader;

// The walks below stop where an offset reaches the record's last byte (1023 in
// a 1,024-byte record): an attribute header that starts there cannot hold anything.
std::int64_t lastOffset(const ByteReader& r)
{
    return static_cast<std::int64_t>(r.size()) - 1;
}

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
    if (offset < 0 || offset >= lastOffset(r))
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
    if (next >= lastOffset(r))
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

/// The offset of the value of the resident standard-information attribute at
/// `attribute`, when it lies wholly inside both the attribute and the record
/// and is long enough for the oldest layout.
std::optional<std::uint64_t> standardValueOffset(const ByteReader& r, const AttributeHeader& attribute)
{
    const std::uint64_t at = attribute.offset();
    const std::int64_t valueOffset = s16(r, at + kAttrValueOffset);
    const std::uint64_t valueLength = attribute.valueLength();
    if (valueOffset > 0 && valueLength >= kStandardMinimumLength &&
        static_cast<std::uint64_t>(valueOffset) + valueLength <= attribute.length() &&
        r.has(at + static_cast<std::uint64_t>(valueOffset), valueLength))
        return at + static_cast<std::uint64_t>(valueOffset);
    return std::nullopt;
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

bool RecordFixupMatches(disk::ByteSpan record) noexcept
{
    const ByteReader r(record);
    const std::uint64_t array = r.u16or0(kRecordUpdateSequence);
    const std::uint64_t words = r.u16or0(kRecordUpdateCount);
    const std::uint64_t sectors = record.size() / 512;
    // One word for the sequence number, one per sector; the array lies in the record's head.
    if (sectors == 0 || words != sectors + 1 || array + 2 * words > kUpdateSequenceLimit || array % 2 != 0)
        return false;
    const std::uint16_t sequence = r.u16or0(array);
    for (std::uint64_t k = 0; k < sectors; ++k)
        if (r.u16or0(510 + 512 * k) != sequence)
            return false;
    return true;
}

bool hasFileSignature(disk::ByteSpan record) noexcept
{
    return ByteReader(record).equals(kRecordSignature, "FILE");
}

namespace {

/// Appends the entries of the resident attribute list at `offset`: from its
/// value to the end of the attribute, each entry stepped over by its length.
void collectListEntries(const ByteReader& r, std::int64_t offset, AttributeRecordTable& table) noexcept
{
    const auto at = static_cast<std::uint64_t>(offset);
    const std::int64_t valueOffset = s16(r, at + kAttrValueOffset);
    if (valueOffset <= 0 || valueOffset >= lastOffset(r))
        return;
    std::int64_t entry = offset + valueOffset;
    if (entry >= lastOffset(r))
        return;
    const std::int64_t end = offset + std::int64_t{r.u32or0(at + kAttrLength)};
    while (entry < end) {
        const auto e = static_cast<std::uint64_t>(entry);
        const auto entryType = r.u32(e + kListEntryType);
        const auto holder = r.u32(e + kListEntryRecord);
        if (!entryType || !holder || *entryType == 0 || *entryType == AttributeType::End)
            return;
        const std::int64_t length = s16(r, e + kListEntryLength);
        // The record number's high 16 bits, when the entry is long enough to
        // hold them (a damaged entry's length may cut its reference short).
        const std::uint64_t high =
            length >= std::int64_t{kListEntryRecord + 6} ? r.u16or0(e + kListEntryRecord + 4) : 0;
        if (!table.append(*holder | high << 32))
            return;
        if (length <= 0 || length > lastOffset(r))
            return;
        entry += length;
    }
}

} // namespace

RecordAttributes ExamineAttributes(disk::ByteSpan record, AttributeRecordTable* table) noexcept
{
    // The three look-ups walk the same attributes from the first-attribute
    // offset, each stepped over by its 32-bit length, and end at the same
    // places (an end marker or type 0, a length of 0, an offset that reaches the
    // record's last byte). Beyond that the attribute-record walk ends after a
    // resident attribute list, the name walk at a file-name value outside the
    // record, the data walk at its match; the walk goes on while one of them does.
    RecordAttributes found;
    const ByteReader r(record);
    auto offset = firstAttribute(r);
    bool collecting = table != nullptr;
    bool naming = true;
    bool sizing = true;
    while (offset && (collecting || naming || sizing)) {
        const auto type = attributeType(r, *offset);
        if (!type)
            break;
        const AttributeHeader attribute(r, static_cast<std::uint64_t>(*offset));
        const bool unnamed = attribute.unnamed();
        if (collecting && *type == AttributeType::AttributeList && attribute.nonResident() == 0) {
            collectListEntries(r, *offset, *table);
            collecting = false;
        }
        if (naming && *type == AttributeType::FileName && unnamed) {
            const std::int64_t value = *offset + s16(r, attribute.offset() + kAttrValueOffset);
            if (value < 0 || value > lastOffset(r)) {
                naming = false; // a value outside the record ends every name search
            } else {
                const auto nameSpace = r.u8(static_cast<std::uint64_t>(value) + kNameNamespace);
                if (nameSpace && *nameSpace < found.names.value.size() && !found.names.value[*nameSpace])
                    found.names.value[*nameSpace] = static_cast<std::size_t>(value);
            }
        }
        if (*type == AttributeType::StandardInformation && attribute.nonResident() == 0 && !found.standardValue)
            if (const auto value = standardValueOffset(r, attribute))
                found.standardValue = static_cast<std::size_t>(*value);
        if (sizing && *type == AttributeType::Data && unnamed) {
            found.dataSize =
                attribute.nonResident() == 1 ? attribute.realSize() : std::uint64_t{attribute.valueLength()};
            sizing = false;
        }
        offset = nextAttribute(r, *offset);
    }
    return found;
}

void CollectAttributeRecords(disk::ByteSpan record, AttributeRecordTable& table) noexcept
{
    (void)ExamineAttributes(record, &table);
}

FileNameOffsets LocateFileNames(disk::ByteSpan record) noexcept
{
    return ExamineAttributes(record, nullptr).names;
}

catalogue::NtfsStandardTimes ReadStandardTimes(disk::ByteSpan record, std::size_t valueOffset) noexcept
{
    const ByteReader r(record);
    return {r.u64or0(valueOffset + kStandardCreated), r.u64or0(valueOffset + kStandardModified),
            r.u64or0(valueOffset + kStandardRecordChanged), r.u64or0(valueOffset + kStandardAccessed)};
}

FileNameInfo ReadFileNameFields(disk::ByteSpan record, std::size_t valueOffset, disk::ByteSpan& nameBytes)
{
    const ByteReader r(record);
    FileNameInfo info;
    info.parentRecord = r.u64or0(valueOffset + kNameParent) & kReferenceNumberMask;
    info.created = r.u64or0(valueOffset + kNameCreated);
    info.modified = r.u64or0(valueOffset + kNameModified);
    // Only characters that lie wholly inside the record are taken.
    const std::uint64_t wanted = r.u8or0(valueOffset + kNameLength);
    const std::uint64_t start = valueOffset + kNameText;
    const std::uint64_t inside = start < r.size() ? (r.size() - start) / 2 : 0;
    const auto text = r.sub(start, 2 * std::min(wanted, inside));
    nameBytes = text ? *text : disk::ByteSpan{};
    return info;
}

FileNameInfo ReadFileName(disk::ByteSpan record, std::size_t valueOffset)
{
    disk::ByteSpan text;
    FileNameInfo info = ReadFileNameFields(record, valueOffset, text);
    info.name.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        // Little-endian units: the low byte comes first. The name is 8-bit text
        // ending at a zero byte, so a unit whose low byte is zero ends it, as it
        // would end the zero-terminated copy.
        const auto low = std::to_integer<char>(text[i]);
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
    return ExamineAttributes(record, nullptr).dataSize;
}

RecordSurvey SurveyRecord(disk::ByteSpan record) noexcept
{
    RecordSurvey found;
    const ByteReader r(record);
    for (auto offset = firstAttribute(r); offset; offset = nextAttribute(r, *offset)) {
        const auto type = attributeType(r, *offset);
        if (!type)
            break;
        const AttributeHeader attribute(r, static_cast<std::uint64_t>(*offset));
        const std::uint8_t nonResident = attribute.nonResident();
        if (*type == AttributeType::FileName)
            found.hasFileName = true;
        if (*type == AttributeType::Data && attribute.unnamed() && !found.dataSize) {
            if (nonResident == 0)
                found.dataSize = attribute.valueLength();
            else if (nonResident == 1 && attribute.lowestVcn() == 0)
                found.dataSize = attribute.realSize();
        }
        if (*type == AttributeType::StandardInformation && nonResident == 0 && !found.times)
            if (const auto value = standardValueOffset(r, attribute))
                found.times.emplace(r.u64or0(*value + kStandardCreated), r.u64or0(*value + kStandardRecordChanged));
    }
    return found;
}

} // namespace sarvik::ntfs
