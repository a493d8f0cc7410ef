// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paths the user names (on the command line or through Add Disk Image) turned
// into drive items, or refused with the reason.

#include "disk/Volume.h"

#include <QString>

#include <vector>

namespace sarvik::app {

struct NamedDrives {
    std::vector<disk::DriveItem> items;
    QString refusal; ///< why nothing is listed for the path; empty when items are
};

/// An image file gives one item per partition (or one for the whole file); a
/// block device gives one under its own name. A missing path, a folder and any
/// other kind of file are refused.
[[nodiscard]] NamedDrives namedDrives(const QString& path);

} // namespace sarvik::app
