// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/NtfsData.h"

#include "catalogue/NameDecode.h"
#include "ntfs/AttributeHeader.h"
#include "ntfs/MftRecord.h"

#include <algorithm>

namespace sarvik::ntfs {

namespace {
/// Offsets and lengths must stay below the record's last byte (0x3FF in a 1,024-byte record).
std::uint64_t walkLimit(disk::ByteSpan record) noexcept
{
    return record.empty() ? 0 : record.size() - 1;
}
constexpr unsigned kMaxFieldBytes = 8;
} // namespace

namespace {

/// The name of the attribute at `offset` as UTF-8; empty for an unnamed one or
/// a name that does not fit the record.
std::string attributeName(disk::ByteSpan record, std::uint64_t offset)
{
    const disk::ByteReader r(record);
    const AttributeHeader header(r, offset);
    const std::uint64_t units = header.nameLength();
    const std::uint64_t at = offset + header.nameOffset();
    if (units == 0 || at + 2 * units > walkLimit(record))
        return {};
    return catalogue::utf16LeToUtf8(record.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(2 * units)));
}

/// Walks the attributes and calls `visit(offset, kind)` for each data
/// attribute, until it returns true; the kind of the last one visited.
template <typename Visit> DataAttributeLocation walkDataAttributes(disk::ByteSpan record, Visit visit)
{
    const disk::ByteReader r(record);
    const std::uint64_t limit = walkLimit(record);
    std::uint64_t offset = r.u16or0(kRecordFirstAttribute);
    if (offset >= limit)
        return {};
    for (;;) {
        const auto type = r.u32(offset + kAttrType);
        if (!type)
            return {};
        if (*type == AttributeType::Data) {
            const auto nonResident = r.u8(offset + kAttrNonResident);
            const DataAttributeKind kind = nonResident == 0   ? DataAttributeKind::Resident
                                           : nonResident == 1 ? DataAttributeKind::NonResident
                                                              : DataAttributeKind::None;
            if (visit(offset, kind))
                return kind == DataAttributeKind::None ? DataAttributeLocation{}
                                                       : DataAttributeLocation{kind, static_cast<std::size_t>(offset)};
        }
        if (*type == 0 || *type == AttributeType::End)
            return {};
        const auto length = r.u32(offset + kAttrLength);
        if (!length || *length == 0 || *length >= limit)
            return {};
        offset += *length;
        if (offset >= limit)
            return {};
    }
}

} // namespace

DataAttributeLocation LocateDataAttribute(disk::ByteSpan record) noexcept
{
    const disk::ByteReader r(record);
    return walkDataAttributes(
        record, [&](std::uint64_t offset, DataAttributeKind) { return r.u8or0(offset + kAttrNameLength) == 0; });
}

DataAttributeLocation LocateDataAttribute(disk::ByteSpan record, std::string_view stream)
{
    if (stream.empty())
        return LocateDataAttribute(record);
    return walkDataAttributes(
        record, [&](std::uint64_t offset, DataAttributeKind) { return attributeName(record, offset) == stream; });
}

std::vector<NamedStream> ListNamedStreams(disk::ByteSpan record)
{
    const disk::ByteReader r(record);
    std::vector<NamedStream> streams;
    (void)walkDataAttributes(record, [&](std::uint64_t offset, DataAttributeKind kind) {
        const AttributeHeader header(r, offset);
        if (header.nameLength() == 0 || kind == DataAttributeKind::None)
            return false;
        std::string name = attributeName(record, offset);
        // Only the first piece of a stream says its size; a later piece (an
        // attribute list's) is not listed again.
        if (name.empty() || (kind == DataAttributeKind::NonResident && header.lowestVcn() != 0))
            return false;
        const std::uint64_t size = kind == DataAttributeKind::Resident ? header.valueLength() : header.realSize();
        streams.push_back({std::move(name), size, {kind, static_cast<std::size_t>(offset)}});
        return streams.size() >= kMaxNamedStreams;
    });
    return streams;
}

std::optional<NtfsRunList> DecodeDataRuns(disk::ByteSpan record, std::size_t attributeOffset)
{
    const disk::ByteReader r(record.first(std::min(record.size(), kMaxMftRecordSize)));
    const auto runsOffset = r.u16(std::uint64_t{attributeOffset} + kAttrRunsOffset);
    NtfsRunList runs;
    if (!runsOffset)
        return std::nullopt;
    std::uint64_t pos = std::uint64_t{attributeOffset} + *runsOffset;
    std::int64_t base = 0; // start of the last run that had an offset field
    bool haveBase = false;
    while (pos < r.size()) {
        const std::uint8_t header = r.u8or0(pos);
        if (header == 0)
            return runs;
        const unsigned lengthBytes = header & 0x0Fu;
        const unsigned offsetBytes = header >> 4;
        if (lengthBytes > kMaxFieldBytes || offsetBytes > kMaxFieldBytes)
            break;
        if (!r.has(pos + 1, std::uint64_t{lengthBytes} + offsetBytes))
            break;
        NtfsRun run;
        run.length = lengthBytes == 0 ? 0 : *r.uint(pos + 1, lengthBytes);
        if (offsetBytes == 0) {
            run.sparse = true;
            run.start = base;
        } else {
            std::uint64_t raw = *r.uint(pos + 1 + lengthBytes, offsetBytes);
            if (!haveBase) {
                // The first offset is an absolute cluster number.
                base = static_cast<std::int64_t>(raw);
            } else {
                if (offsetBytes < 8 && (raw >> (8 * offsetBytes - 1)) & 1u)
                    raw |= ~std::uint64_t{0} << (8 * offsetBytes); // sign-extend
                base = static_cast<std::int64_t>(static_cast<std::uint64_t>(base) + raw);
            }
            run.start = base;
            haveBase = true;
        }
        runs.push_back(run);
        pos += 1 + lengthBytes + offsetBytes;
    }
    if (runs.empty())
        return std::nullopt;
    return runs;
}

std::uint64_t InitializedBytes(disk::ByteSpan record, std::size_t attributeOffset, std::uint64_t size) noexcept
{
    const disk::ByteReader r(record);
    return InitializedBytes(r.u64or0(attributeOffset + kAttrRealSize), r.u64or0(attributeOffset + kAttrInitializedSize),
                            size);
}

std::uint64_t InitializedBytes(std::uint64_t realSize, std::uint64_t initializedSize, std::uint64_t size) noexcept
{
    return realSize == size ? std::min(initializedSize, size) : size;
}

} // namespace sarvik::ntfs
