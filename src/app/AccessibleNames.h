// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names for a screen reader that several windows give alike.

class QTableView;

namespace sarvik::app {

/// Names the button where a table's headers meet (it selects every row).
void nameTableCorner(QTableView* table);

} // namespace sarvik::app
