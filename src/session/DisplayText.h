// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts a front end shows for what the catalogue holds, in UTF-8: names made
// safe to show, and the notes over the file list.

#include <string>
#include <vector>

namespace sarvik::session {

/// A catalogue name as shown: UTF-8 (Windows-1252 decoded where the names are
/// 8-bit), with every character that reorders the text after it ("txt.exe"
/// showing as "exe.txt") written as its code, "<U+202E>".
[[nodiscard]] std::string displayName(const std::string& name, bool namesAreUtf8);

/// The note over the list while file filters are in force ("File filter in
/// force: only files named *.jpg, *.png are listed and recovered"); empty
/// without patterns.
[[nodiscard]] std::string filterNote(const std::vector<std::string>& patterns, bool namesAreUtf8);

/// What the Condition column's words mean.
[[nodiscard]] std::string conditionLegend();

} // namespace sarvik::session
