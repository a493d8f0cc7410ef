// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a list view that draws FileListRows by position needs besides the
// texts: the order a click on a column header asks for, and its selection
// carried between positions and rows (a sort moves the rows, and a selection
// kept by position would then name other files).

#include "session/FileListRows.h"

#include <vector>

namespace sarvik::session {

/// The order a click on the header of `column` asks for: the column in force
/// turns round, any other column sorts ascending.
[[nodiscard]] SortOrder orderAfterHeaderClick(const FileListRows& rows, int column);

/// One flag per row in the catalogue's order, set for the rows presented at
/// `positions`; positions out of range are passed over.
[[nodiscard]] std::vector<bool> rowsAtPositions(const FileListRows& rows, const std::vector<int>& positions);

/// The positions, ascending, where the rows flagged in `rowFlags` are presented
/// now; flags past the rows are passed over.
[[nodiscard]] std::vector<int> positionsOfRows(const FileListRows& rows, const std::vector<bool>& rowFlags);

} // namespace sarvik::session
