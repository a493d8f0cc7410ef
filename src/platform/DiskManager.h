// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system's disk manager (the UDisks2 service on the system bus), asked to
// open a device that this user may not open: polkit decides, asking for the
// password where the user may obtain the right, and the service hands over a
// read-only descriptor that Devices.h then serves under the device's path.

#include <string>

namespace sarvik::platform {

/// What asking the disk manager gave.
struct DiskManagerOpen {
    enum class Outcome {
        Opened,     ///< the device is served (serveDevice)
        Refused,    ///< polkit or the service said no, or the user cancelled
        Unavailable ///< no system bus, no service on it, or it does not know the device
    };
    Outcome outcome = Outcome::Unavailable;
    std::string reason; ///< the bus's or the service's reason when not Opened
};

#if !defined(_WIN32)
/// Asks the disk manager to open the whole device `devicePath` read-only for
/// this user, letting polkit ask for the password; on success the path is
/// served by the descriptor it hands over.
[[nodiscard]] DiskManagerOpen openThroughDiskManager(const std::string& devicePath);
#endif

} // namespace sarvik::platform
