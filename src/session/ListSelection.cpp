// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/ListSelection.h"

#include <algorithm>

namespace sarvik::session {

SortOrder orderAfterHeaderClick(const FileListRows& rows, int column)
{
    if (rows.sortColumn() != column)
        return SortOrder::Ascending;
    return rows.sortOrder() == SortOrder::Ascending ? SortOrder::Descending : SortOrder::Ascending;
}

std::vector<bool> rowsAtPositions(const FileListRows& rows, const std::vector<int>& positions)
{
    std::vector<bool> flags(rows.size(), false);
    for (int position : positions) {
        const int row = rows.rowAt(position);
        if (rows.validRow(row))
            flags[static_cast<std::size_t>(row)] = true;
    }
    return flags;
}

std::vector<int> positionsOfRows(const FileListRows& rows, const std::vector<bool>& rowFlags)
{
    std::vector<int> positions;
    const std::size_t count = std::min(rowFlags.size(), rows.size());
    for (std::size_t row = 0; row < count; ++row) {
        if (rowFlags[row])
            positions.push_back(rows.positionOf(static_cast<int>(row)));
    }
    std::sort(positions.begin(), positions.end());
    return positions;
}

} // namespace sarvik::session
