// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names read from disk are 8-bit text. Where they meet the outside world they are
// read as Windows-1252 and turned into UTF-8, so "caf\xE9.txt" becomes "café.txt".

#include <string>
#include <string_view>

namespace sarvik::catalogue {

/// Windows-1252 to UTF-8. The five code points that Windows-1252 leaves
/// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value.
[[nodiscard]] std::string toUtf8(std::string_view cp1252);

/// A catalogue name as UTF-8: taken as it is when the catalogue's names are
/// UTF-8 already (Catalogue::NamesAreUtf8) and it is well formed, else read as
/// Windows-1252 like toUtf8.
[[nodiscard]] std::string nameToUtf8(std::string_view name, bool namesAreUtf8);
/// The same text without a copy where the name is UTF-8 already: `name`
/// itself, or else the decoded text held in `scratch`.
[[nodiscard]] std::string_view nameAsUtf8(std::string_view name, bool namesAreUtf8, std::string& scratch);

/// UTF-8 text (typed by the user: a new name, a pattern) to Windows-1252, the
/// inverse of toUtf8. A character that code page cannot hold, and a byte that
/// is not part of well-formed UTF-8, becomes '_'.
[[nodiscard]] std::string fromUtf8(std::string_view utf8);

/// UTF-8 text as code points. A byte that is not part of well-formed UTF-8
/// stands for itself as U+DC80..U+DCFF (a lone surrogate, which no decoded
/// text holds), so distinct bytes stay distinct.
[[nodiscard]] std::u32string decodeUtf8(std::string_view utf8);

/// UTF-8 text as a catalogue holds names: unchanged when its names are UTF-8,
/// else as fromUtf8.
[[nodiscard]] std::string nameFromUtf8(std::string_view utf8, bool namesAreUtf8);

/// Upper-cases the ASCII letters a-z only. Every other byte, including all bytes of
/// 128 and above, is copied unchanged: names arrive as 8-bit text whose code page is
/// unknown (NTFS names keep only the low byte of each UTF-16 unit), so folding those
/// bytes under any one code page would be a guess, and the result must not depend on
/// the process locale.
[[nodiscard]] std::string upperCase8(std::string_view text);

} // namespace sarvik::catalogue
