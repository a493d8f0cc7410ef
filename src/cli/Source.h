#pragma once
// Opens what a subcommand names as SOURCE: a block device or a disk image.

#include "disk/Volume.h"
#include "platform/PosixDevice.h"

#include <string>

namespace sarvik::cli {

struct OpenedSource {
    disk::DriveItem item;
    disk::SelectedVolume volume;
    bool supported = false;
    std::string error; ///< why it cannot be scanned, for standard error
};

/// Selects SOURCE the way a click on its drive item does.
OpenedSource openSource(const std::string& path);

} // namespace sarvik::cli
