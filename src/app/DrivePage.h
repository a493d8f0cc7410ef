// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The first page of the main window: the drive tree under "My Computer" and
// the volume's labels of the right pane. Its operations are RecoveryWindow's
// (DrivePage.cpp); the texts it shows are here.

#include <QStringList>

namespace sarvik::app::Text {
/// The captions of the drive page's five labels, top to bottom.
QStringList driveCaptions();
/// Quick Help of the drive page: `indent` is 20 at start-up and 24 after Back.
QString driveHelp(int indent);
} // namespace sarvik::app::Text
