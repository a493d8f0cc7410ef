// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the preview box shows of a file's first bytes: the text they hold
// (UTF-8, UTF-16 with its byte-order mark, else Windows-1252), or lines of
// offset, hex and characters. Plain C++ (no Windows headers), so that it is
// tested on every system.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sarvik::win32 {

/// The text `bytes` hold, UTF-8, its line ends CR LF (as an edit box shows
/// them); nothing when they do not look like text (a zero byte or control
/// characters other than tab, line and page ends).
[[nodiscard]] std::optional<std::string> previewText(std::span<const std::byte> bytes);

/// "00000000  48 65 6c 6c 6f 0a ...  Hello." lines for `bytes`, at most
/// `maxLines` of them, CR LF after each; a byte outside printable ASCII is
/// shown as '.'.
[[nodiscard]] std::string hexLines(std::span<const std::byte> bytes, std::size_t maxLines);

} // namespace sarvik::win32
