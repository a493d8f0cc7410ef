// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 32-byte FAT directory entry, short (8.3) and long-name, as every FAT reader
// sees it. Readers add their own limits (how many long-name pieces, how long a
// name may grow), never their own offsets.

#include "catalogue/Catalogue.h"
#include "disk/ByteReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sarvik::fat {

namespace dirent {

inline constexpr std::size_t kEntrySize = 32;

// Short (8.3) entry fields.
inline constexpr std::size_t kName = 0;       // 8 bytes, blank-padded; 0x00 ends, 0xE5 deleted, 0x05 stands for 0xE5
inline constexpr std::size_t kExtension = 8;  // 3 bytes, blank-padded
inline constexpr std::size_t kNameLength = 8; // bytes of the base name
inline constexpr std::size_t kExtensionLength = 3;
inline constexpr std::size_t kShortNameBytes = 11; // name and extension together, the bytes the checksum covers
inline constexpr std::size_t kAttributes = 11;     // 0x0F long-name entry; 0x08 volume label; 0x10 directory
inline constexpr std::size_t kCaseFlags = 12;      // 0x08 base name in lower case, 0x10 extension in lower case
inline constexpr std::size_t kCreateTenths = 13;   // 0..199, tens of milliseconds added to the creation time
inline constexpr std::size_t kCreateTime = 14;     // u16 packed time
inline constexpr std::size_t kCreateDate = 16;     // u16 packed date
inline constexpr std::size_t kAccessDate = 18;     // u16 packed date
inline constexpr std::size_t kClusterHigh = 20;    // u16, FAT32 only
inline constexpr std::size_t kWriteTime = 22;      // u16 packed time of day, 2-second steps
inline constexpr std::size_t kWriteDate = 24;      // u16 packed date
inline constexpr std::size_t kClusterLow = 26;     // u16
inline constexpr std::size_t kFileSize = 28;       // u32

// Long-name entry fields.
inline constexpr std::size_t kLongSequence = 0;  // 1..20, 0x40 on the last piece; 0xE5 once deleted
inline constexpr std::size_t kLongType = 12;     // 0
inline constexpr std::size_t kLongChecksum = 13; // checksum of the short entry's 11 name bytes
inline constexpr std::size_t kLongCluster = 26;  // u16, 0
// Offsets of the 13 UTF-16 units of a long-name entry, in order.
inline constexpr std::array<std::size_t, 13> kLongUnits = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
inline constexpr std::uint8_t kLastLongPiece = 0x40; // flag in kLongSequence

// Attribute bits and marks.
inline constexpr std::uint8_t kLongNameAttributes = 0x0F;
inline constexpr std::uint8_t kVolumeLabelBit = 0x08;
inline constexpr std::uint8_t kDirectoryBit = 0x10;
inline constexpr std::uint8_t kDeletedMark = 0xE5;
inline constexpr std::uint8_t kStandsForE5 = 0x05;
inline constexpr std::uint8_t kLowerCaseBase = 0x08;      // in kCaseFlags
inline constexpr std::uint8_t kLowerCaseExtension = 0x10; // in kCaseFlags

} // namespace dirent

/// One 32-byte entry read through the bounds-checked reader; a field that lies
/// outside the bytes given reads as 0.
class DirectoryEntry {
public:
    explicit DirectoryEntry(std::span<const std::byte> bytes) noexcept : m_bytes(bytes), m_reader(bytes) {}

    [[nodiscard]] std::span<const std::byte> bytes() const noexcept { return m_bytes; }
    [[nodiscard]] const disk::ByteReader& reader() const noexcept { return m_reader; }
    [[nodiscard]] std::uint8_t byte(std::size_t offset) const noexcept { return m_reader.u8or0(offset); }
    [[nodiscard]] std::uint16_t u16(std::size_t offset) const noexcept { return m_reader.u16or0(offset); }

    /// The first name byte: 0x00 ends the directory, 0xE5 marks a deleted entry.
    [[nodiscard]] std::uint8_t first() const noexcept { return byte(dirent::kName); }
    [[nodiscard]] bool end() const noexcept { return first() == 0; }
    [[nodiscard]] bool deletedMark() const noexcept { return first() == dirent::kDeletedMark; }
    [[nodiscard]] std::uint8_t attributes() const noexcept { return byte(dirent::kAttributes); }
    [[nodiscard]] bool longName() const noexcept { return attributes() == dirent::kLongNameAttributes; }
    [[nodiscard]] bool folder() const noexcept { return (attributes() & dirent::kDirectoryBit) != 0; }
    [[nodiscard]] bool volumeLabel() const noexcept { return (attributes() & dirent::kVolumeLabelBit) != 0; }
    [[nodiscard]] std::uint16_t clusterHigh() const noexcept { return u16(dirent::kClusterHigh); }
    /// The first cluster; the high word counts only on FAT32.
    [[nodiscard]] std::uint32_t cluster(bool fat32) const noexcept
    {
        return u16(dirent::kClusterLow) | (fat32 ? std::uint32_t{clusterHigh()} << 16 : 0);
    }
    [[nodiscard]] std::uint32_t size() const noexcept { return m_reader.u32or0(dirent::kFileSize); }
    [[nodiscard]] std::uint16_t writeTime() const noexcept { return u16(dirent::kWriteTime); }
    [[nodiscard]] std::uint16_t writeDate() const noexcept { return u16(dirent::kWriteDate); }
    [[nodiscard]] std::uint16_t accessDate() const noexcept { return u16(dirent::kAccessDate); }
    /// The entry's address (given: it depends on where the bytes were read)
    /// and its creation fields.
    [[nodiscard]] catalogue::FatEntryOrigin origin(std::uint64_t address) const noexcept
    {
        return {address, u16(dirent::kCreateDate), u16(dirent::kCreateTime), byte(dirent::kCreateTenths)};
    }

private:
    std::span<const std::byte> m_bytes;
    disk::ByteReader m_reader;
};

/// Whether `c` may stand in a short name (a control byte or one of
/// " * + , . / : ; < = > ? [ \ ] | may not).
[[nodiscard]] bool isShortNameByte(std::uint8_t c) noexcept;

/// The checksum over the 11 name bytes of a short entry, as its long-name
/// pieces carry it.
[[nodiscard]] std::uint8_t shortNameChecksum(std::span<const std::byte> entry);

/// For a deleted short entry, whose first name byte was overwritten: whether
/// some byte that may stand there (a short-name byte or 0xE5) gives `checksum`.
[[nodiscard]] bool deletedEntryMatches(std::span<const std::byte> entry, std::uint8_t checksum);

} // namespace sarvik::fat
