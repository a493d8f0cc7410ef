// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The second page of the main window: the scan's counts, status line,
// progress and Stop. Its operations are RecoveryWindow's (ScanPage.cpp); the
// texts it shows are here.

#include <QStringList>

namespace sarvik::app::Text {
/// The captions of the scan page's four labels, top to bottom.
QStringList scanCaptions();
QString scanHelp();
} // namespace sarvik::app::Text
