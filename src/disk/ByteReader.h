// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bounds-checked little-endian reads over a byte span. Every on-disk structure
// is parsed through this: an offset outside the span is an error the caller can
// see, never undefined behaviour.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sarvik::disk {

using ByteSpan = std::span<const std::byte>;
using MutableByteSpan = std::span<std::byte>;

/// True when [offset, offset + length) lies inside a buffer of `size` bytes,
/// written so that no addition can overflow.
constexpr bool fitsIn(std::size_t size, std::uint64_t offset, std::uint64_t length) noexcept
{
    return offset <= size && length <= size - offset;
}

class ByteReader {
public:
    constexpr ByteReader() noexcept = default;
    constexpr explicit ByteReader(ByteSpan bytes) noexcept : m_bytes(bytes) {}

    [[nodiscard]] constexpr std::size_t size() const noexcept { return m_bytes.size(); }
    [[nodiscard]] constexpr ByteSpan bytes() const noexcept { return m_bytes; }
    [[nodiscard]] constexpr bool has(std::uint64_t offset, std::uint64_t length) const noexcept
    {
        return fitsIn(m_bytes.size(), offset, length);
    }

    /// Unsigned little-endian integer of `width` bytes (1..8), or nothing when out of range.
    [[nodiscard]] constexpr std::optional<std::uint64_t> uint(std::uint64_t offset, unsigned width) const noexcept
    {
        if (width == 0 || width > 8 || !has(offset, width))
            return std::nullopt;
        if constexpr (std::endian::native == std::endian::little) {
            // One load instead of a byte loop; the bounds are already checked.
            if (!std::is_constant_evaluated()) {
                std::uint64_t value = 0;
                std::memcpy(&value, m_bytes.data() + offset, width);
                return value;
            }
        }
        std::uint64_t value = 0;
        for (unsigned i = width; i-- > 0;)
            value = (value << 8) | std::to_integer<std::uint64_t>(m_bytes[static_cast<std::size_t>(offset) + i]);
        return value;
    }

    [[nodiscard]] constexpr std::optional<std::uint8_t> u8(std::uint64_t offset) const noexcept
    {
        return narrow<std::uint8_t>(uint(offset, 1));
    }
    [[nodiscard]] constexpr std::optional<std::uint16_t> u16(std::uint64_t offset) const noexcept
    {
        return narrow<std::uint16_t>(uint(offset, 2));
    }
    [[nodiscard]] constexpr std::optional<std::uint32_t> u32(std::uint64_t offset) const noexcept
    {
        return narrow<std::uint32_t>(uint(offset, 4));
    }
    [[nodiscard]] constexpr std::optional<std::uint64_t> u64(std::uint64_t offset) const noexcept
    {
        return uint(offset, 8);
    }

    /// Reads that fall back to 0 where the caller has already bounded the offset
    /// (or where a missing byte must read as zero, as in a short buffer).
    [[nodiscard]] constexpr std::uint8_t u8or0(std::uint64_t offset) const noexcept { return u8(offset).value_or(0); }
    [[nodiscard]] constexpr std::uint16_t u16or0(std::uint64_t offset) const noexcept
    {
        return u16(offset).value_or(0);
    }
    [[nodiscard]] constexpr std::uint32_t u32or0(std::uint64_t offset) const noexcept
    {
        return u32(offset).value_or(0);
    }
    [[nodiscard]] constexpr std::uint64_t u64or0(std::uint64_t offset) const noexcept
    {
        return u64(offset).value_or(0);
    }

    /// `length` bytes at `offset`, or nothing when out of range.
    [[nodiscard]] constexpr std::optional<ByteSpan> sub(std::uint64_t offset, std::uint64_t length) const noexcept
    {
        if (!has(offset, length))
            return std::nullopt;
        return m_bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    }

    /// True when the bytes at `offset` equal the characters of `text`.
    [[nodiscard]] bool equals(std::uint64_t offset, std::string_view text) const noexcept
    {
        if (!has(offset, text.size()))
            return false;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (std::to_integer<char>(m_bytes[static_cast<std::size_t>(offset) + i]) != text[i])
                return false;
        return true;
    }

private:
    template <typename T> static constexpr std::optional<T> narrow(std::optional<std::uint64_t> v) noexcept
    {
        if (!v)
            return std::nullopt;
        return static_cast<T>(*v);
    }

    ByteSpan m_bytes;
};

/// Writes a little-endian integer of `width` bytes; false when out of range.
constexpr bool putUint(MutableByteSpan bytes, std::uint64_t offset, unsigned width, std::uint64_t value) noexcept
{
    if (width == 0 || width > 8 || !fitsIn(bytes.size(), offset, width))
        return false;
    for (unsigned i = 0; i < width; ++i)
        bytes[static_cast<std::size_t>(offset) + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
    return true;
}

} // namespace sarvik::disk
