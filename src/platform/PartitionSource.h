// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opens what a device path names: a block device or image file, one partition
// of it written "PATH@N" (see disk/PartitionTable.h), or one volume the search
// for lost volumes finds on it, "PATH@lostN" (disk/LostVolumes.h).

#include "disk/BlockSource.h"
#include "disk/LostVolumes.h"
#include "disk/PartitionTable.h"

#include <memory>
#include <optional>
#include <string>

namespace sarvik::platform {

/// What a device path names: the file or device to open, and the partition of
/// it (0 for the whole). A path that exists as written is that file, even when
/// its own name ends in "@N"; otherwise "PATH@N" names partition N of PATH.
[[nodiscard]] disk::PartitionPath resolvePartitionPath(const std::string& path);

/// Opens `path` read-only, the whole file or device or the partition that
/// resolvePartitionPath finds in it. Nothing, with the reason in `error`, when
/// it cannot be opened.
std::shared_ptr<const disk::BlockSource> openVolumeSource(const std::string& path, std::string* error = nullptr);

/// Lost volume `number` of the disk or image at `path` (disk::FindLostVolume),
/// searched for once per process and path: opening one names it several times
/// (its bytes, its label), and the deep search reads the whole disk.
[[nodiscard]] std::optional<disk::LostVolume> lostVolume(const std::string& path, std::uint32_t number);

} // namespace sarvik::platform
