#pragma once
// Opens what a device path names: a block device or image file, or one
// partition of it written "PATH@N" (see disk/PartitionTable.h).

#include "disk/BlockSource.h"

#include <memory>
#include <string>

namespace sarvik::platform {

/// Opens `path` read-only. A path that does not exist as written but ends in
/// "@N" after an existing file or device opens partition N of that disk.
/// Nothing, with the reason in `error`, when it cannot be opened.
std::shared_ptr<const disk::BlockSource> openVolumeSource(const std::string& path, std::string* error = nullptr);

} // namespace sarvik::platform
