#include "ntfs/NtfsData.h"

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

DataAttributeLocation LocateDataAttribute(disk::ByteSpan record) noexcept
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
        if (*type == AttributeType::Data && r.u8(offset + kAttrNameLength).value_or(1) == 0) {
            const auto nonResident = r.u8(offset + kAttrNonResident);
            if (nonResident == 0)
                return {DataAttributeKind::Resident, static_cast<std::size_t>(offset)};
            if (nonResident == 1)
                return {DataAttributeKind::NonResident, static_cast<std::size_t>(offset)};
            return {};
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

} // namespace sarvik::ntfs
