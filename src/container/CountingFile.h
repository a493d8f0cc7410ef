// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file opened through libbfio that counts the bytes a library reads from
// it. A container library handed such files for a disk and its parents tells,
// by the count, whether a read of the media found anything stored: a region
// the container does not hold (a sparse VHD block, an unallocated QCOW
// cluster) is answered with zeros without reading the file. It reads the file
// in whole aligned blocks and keeps the last few, so that the many small reads
// a library makes of its tables and data become a few reads of the file.

#include <libbfio.h>

#include <cstdint>
#include <memory>
#include <string>

namespace sarvik::container::detail {

/// A libbfio handle on `path` (not yet open) whose reads add to `*counter`;
/// null when libbfio cannot make it. The caller frees it with
/// libbfio_handle_free after the library that used it is done.
[[nodiscard]] libbfio_handle_t* countingFile(const std::string& path, std::shared_ptr<std::uint64_t> counter);

/// Owns a libbfio handle; frees it when it goes.
struct BfioHandle {
    libbfio_handle_t* handle = nullptr;
    BfioHandle() = default;
    explicit BfioHandle(libbfio_handle_t* h) : handle(h) {}
    BfioHandle(const BfioHandle&) = delete;
    BfioHandle& operator=(const BfioHandle&) = delete;
    ~BfioHandle()
    {
        if (handle != nullptr)
            (void)libbfio_handle_free(&handle, nullptr);
    }
};

} // namespace sarvik::container::detail
