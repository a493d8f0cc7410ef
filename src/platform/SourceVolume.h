// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a path the program will write lies, seen from the sources it reads:
// the check that keeps recovered files, reports and snapshots off the volume
// being recovered, and the mounts that may write to it while it is read. Each
// system has its own implementation (PosixSourceVolume.cpp, WinSourceVolume.cpp).

#include <cstdint>
#include <string>
#include <vector>

namespace sarvik::platform {

/// Where writing a path lands, seen from the sources.
enum class WritePlace : std::uint8_t {
    Elsewhere,      ///< on storage no source uses
    OtherPartition, ///< on the disk of a source, but outside it
    OnSource,       ///< on a source, or a source itself
};

/// Where writing `path` lands: a folder or file that may not exist yet (its
/// nearest existing folder then says), or a device. `sources` are what is read:
/// devices, image files, "PATH@N" partitions, snapshot files. A file system that
/// holds an image is not the image: only writing into the image itself, or into
/// a file system mounted from it, is on the source.
[[nodiscard]] WritePlace placeOfWrite(const std::string& path, const std::vector<std::string>& sources);

/// Where a file system that `source` holds is mounted read-write, so that the
/// system may write to it while it is read.
[[nodiscard]] std::vector<std::string> readWriteMounts(const std::string& source);

} // namespace sarvik::platform
