// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names as a thorough scan keeps them: decoded from what the disk holds into
// UTF-8. FAT long names and NTFS names are UTF-16LE units; FAT short names are
// 8-bit text in the OEM code page, taken as code page 850.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sarvik::catalogue {

/// Appends code point `cp` as UTF-8 (U+FFFD for a surrogate or a value past U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);

/// UTF-16 units to UTF-8. Pairs of surrogates become one code point; a surrogate
/// without its partner becomes U+FFFD. A unit of 0 ends the text.
[[nodiscard]] std::string utf16ToUtf8(std::span<const char16_t> units);
/// The same for units stored little-endian in `bytes` (a last odd byte is no unit).
[[nodiscard]] std::string utf16LeToUtf8(std::span<const std::byte> bytes);

/// Code page 850 bytes to UTF-8 (bytes below 0x80 are ASCII).
[[nodiscard]] std::string cp850ToUtf8(std::string_view text);

/// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
[[nodiscard]] bool isValidUtf8(std::string_view text) noexcept;

/// The thorough scan's name rule: every name is kept, as one that names a
/// single file in a path: a path separator ('/' or '\\') becomes '_', and an
/// empty name becomes "_". Control characters stay, as the entry holds them:
/// output folders clean what their file system refuses, and the command line
/// escapes them when it prints.
[[nodiscard]] std::string pathSafeName(std::string_view utf8);

} // namespace sarvik::catalogue
