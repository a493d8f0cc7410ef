// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The header every attribute of an MFT record starts with, and the type codes
// the engine looks at: one layout for the record parser, the run-list builder
// and the data readers. Readers add their own limits, never their own offsets.

#include "disk/ByteReader.h"

#include <cstddef>
#include <cstdint>

namespace sarvik::ntfs {

// Attribute header (offsets from the attribute's start).
inline constexpr std::size_t kAttrType = 0;             // u32
inline constexpr std::size_t kAttrLength = 4;           // u32: distance to the next attribute
inline constexpr std::size_t kAttrNonResident = 8;      // u8: 1 = data held in runs outside the record
inline constexpr std::size_t kAttrNameLength = 9;       // u8: UTF-16 units of the attribute's own name
inline constexpr std::size_t kAttrNameOffset = 10;      // u16: offset of that name from the attribute's start
inline constexpr std::size_t kAttrFlags = 12;           // u16: 0x0001 compressed
inline constexpr std::size_t kAttrId = 14;              // u16: the attribute's id in its record
inline constexpr std::size_t kAttrValueLength = 16;     // u32, resident: length of the value
inline constexpr std::size_t kAttrValueOffset = 20;     // s16, resident: offset of the value
inline constexpr std::size_t kAttrRunsOffset = 32;      // u16, non-resident: offset of the run list
inline constexpr std::size_t kAttrLowestVcn = 16;       // u64, non-resident: first cluster of the data this piece holds
inline constexpr std::size_t kAttrHighestVcn = 24;      // u64, non-resident: last cluster of the data this piece holds
inline constexpr std::size_t kAttrCompressionUnit = 34; // u8, non-resident: log2 of the clusters in a compression unit
inline constexpr std::size_t kAttrRealSize = 48; // u64, non-resident: bytes of data in use (the piece at VCN 0 only)
// u64, non-resident: bytes written (the valid data length); the rest reads as zeros (the piece at VCN 0 only)
inline constexpr std::size_t kAttrInitializedSize = 56;

/// Attribute type codes that the engine looks at.
namespace AttributeType {
inline constexpr std::uint32_t StandardInformation = 0x10;
inline constexpr std::uint32_t AttributeList = 0x20;
inline constexpr std::uint32_t FileName = 0x30;
inline constexpr std::uint32_t VolumeName = 0x60; // $Volume's label, UTF-16LE
inline constexpr std::uint32_t Data = 0x80;
inline constexpr std::uint32_t IndexAllocation = 0xA0;
inline constexpr std::uint32_t End = 0xFFFFFFFF;
} // namespace AttributeType

/// Bits of kAttrFlags.
inline constexpr std::uint16_t kAttrCompressedFlag = 0x0001;

/// The header of the attribute at `offset` of a record, read through the
/// bounds-checked reader: a field outside the record reads as 0. It does not
/// judge the header; each walk keeps its own rules for where attributes end.
class AttributeHeader {
public:
    AttributeHeader(const disk::ByteReader& record, std::uint64_t offset) noexcept : m_record(record), m_at(offset) {}

    [[nodiscard]] std::uint64_t offset() const noexcept { return m_at; }
    [[nodiscard]] std::uint32_t type() const noexcept { return m_record.u32or0(m_at + kAttrType); }
    [[nodiscard]] std::uint32_t length() const noexcept { return m_record.u32or0(m_at + kAttrLength); }
    /// 0 resident, 1 non-resident; any other value is damage.
    [[nodiscard]] std::uint8_t nonResident() const noexcept { return m_record.u8or0(m_at + kAttrNonResident); }
    /// The unnamed attribute of a type is the one that holds a file's data or name.
    [[nodiscard]] bool unnamed() const noexcept { return m_record.u8or0(m_at + kAttrNameLength) == 0; }
    [[nodiscard]] std::uint8_t nameLength() const noexcept { return m_record.u8or0(m_at + kAttrNameLength); }
    [[nodiscard]] std::uint16_t nameOffset() const noexcept { return m_record.u16or0(m_at + kAttrNameOffset); }
    [[nodiscard]] std::uint16_t id() const noexcept { return m_record.u16or0(m_at + kAttrId); }
    [[nodiscard]] std::uint32_t valueLength() const noexcept { return m_record.u32or0(m_at + kAttrValueLength); }
    [[nodiscard]] std::uint64_t lowestVcn() const noexcept { return m_record.u64or0(m_at + kAttrLowestVcn); }
    [[nodiscard]] std::uint64_t realSize() const noexcept { return m_record.u64or0(m_at + kAttrRealSize); }

private:
    const disk::ByteReader& m_record;
    std::uint64_t m_at;
};

} // namespace sarvik::ntfs
