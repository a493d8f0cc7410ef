// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Terminal columns of UTF-8 text, measured per character by the platform layer
// (wcwidth in a UTF-8 locale, set up by platform::setUpConsole), so that
// combining marks (no column), CJK and emoji (two) keep tables in line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sarvik::cli {

/// Columns `text` takes on a terminal; a character the system does not know counts one.
[[nodiscard]] std::size_t displayWidth(std::string_view text);

/// `text` in exactly `columns` columns: padded with blanks, or cut at a
/// character boundary and ended with "…" when it is wider.
[[nodiscard]] std::string fitted(std::string_view text, std::size_t columns);
/// The same, appended to `out`.
void appendFitted(std::string& out, std::string_view text, std::size_t columns);

/// `text` right-aligned in `columns` columns (numbers), never cut.
[[nodiscard]] std::string rightAligned(std::string_view text, std::size_t columns);

/// A size in binary units as lsblk and df -h read: "512 B", "4.0 KiB",
/// "260.0 MiB", "1.5 GiB", "2.0 TiB"; one decimal, rounded down so that a
/// size never reads as more than it is.
[[nodiscard]] std::string iecSize(std::uint64_t bytes);

} // namespace sarvik::cli
