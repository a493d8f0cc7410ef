// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which paths name a raw volume or disk on Windows (\\.\C:, \\.\PhysicalDrive0).
// Devices and image files are opened and read through Devices.h.

#include <string>

namespace sarvik::platform {

/// True when `path` names a raw volume or disk ("\\.\C:", "\\?\Volume{...}",
/// "\\.\PhysicalDrive0") rather than a file.
[[nodiscard]] bool isRawDevicePath(const std::string& path);

} // namespace sarvik::platform
