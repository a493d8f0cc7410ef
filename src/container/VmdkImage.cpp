// SPDX-License-Identifier: GPL-3.0-or-later
// VMware disks through libvmdk: monolithic and split, sparse and flat; a
// descriptor names its extent files, which must lie beside it; a child disk
// reads through its parent.

#include "container/ChainImage.h"
#include "container/CountingFile.h"

#include <libvmdk.h>

namespace sarvik::container::detail {

namespace {

/// One open VMDK disk (descriptor and extents) and, when it was opened over
/// extent files of ours, the libbfio pool of them: the library closes the
/// disk before the pool it reads through goes (members go in reverse order).
struct VmdkDisk {
    LibObject<libbfio_pool_t, nullptr, libbfio_pool_free> extents;
    LibObject<libvmdk_handle_t, libvmdk_handle_close, libvmdk_handle_free> lib;
};

struct VmdkCalls {
    using Error = LibError<libvmdk_error_free, libvmdk_error_backtrace_sprint>;
    static constexpr auto kSetParent = libvmdk_handle_set_parent_handle;
    static constexpr auto kRead = libvmdk_handle_read_buffer_at_offset;
    static constexpr auto kMediaSize = libvmdk_handle_get_media_size;
    static constexpr auto kParentNameSize = libvmdk_handle_get_utf8_parent_filename_size;
    static constexpr auto kParentName = libvmdk_handle_get_utf8_parent_filename;
};

/// The name extent `index` of `handle` gives its file, as the descriptor
/// gives it; empty for an extent without a file (a zero extent) or when the
/// library cannot say.
std::string extentName(libvmdk_handle_t* handle, int index)
{
    libvmdk_extent_descriptor_t* extent = nullptr;
    if (libvmdk_handle_get_extent_descriptor(handle, index, &extent, nullptr) != 1)
        return {};
    std::string name;
    if (int type = 0;
        libvmdk_extent_descriptor_get_type(extent, &type, nullptr) == 1 && type != LIBVMDK_EXTENT_TYPE_ZERO)
        name = libraryText(
            [extent](std::size_t* size) {
                return libvmdk_extent_descriptor_get_utf8_filename_size(extent, size, nullptr);
            },
            [extent](std::uint8_t* text, std::size_t size) {
                return libvmdk_extent_descriptor_get_utf8_filename(extent, text, size, nullptr);
            });
    (void)libvmdk_extent_descriptor_free(&extent, nullptr);
    return name;
}

int extentCount(libvmdk_handle_t* handle)
{
    int extents = 0;
    return libvmdk_handle_get_number_of_extents(handle, &extents, nullptr) == 1 ? extents : -1;
}

class VmdkImage final : public ChainImage<VmdkDisk, VmdkCalls> {
public:
    VmdkImage() : ChainImage(Format::Vmdk, {"parent disk", "parent", "a child disk", "does not fit it"}) {}

protected:
    /// Over counting files, the extents are read through a pool of them, one
    /// entry per extent in the descriptor's order (a zero extent, which has no
    /// file, keeps an empty entry); otherwise admit opens the library's own.
    std::unique_ptr<VmdkDisk> openDisk(const std::string& path, const std::shared_ptr<std::uint64_t>& counter,
                                       std::string& reason) const override
    {
        auto disk = std::make_unique<VmdkDisk>();
        VmdkCalls::Error e;
        if (libvmdk_handle_initialize(&disk->lib.handle, e.out()) != 1 ||
            libvmdk_handle_open(disk->lib.handle, path.c_str(), LIBVMDK_OPEN_READ, e.out()) != 1) {
            reason = e.text();
            return nullptr;
        }
        disk->lib.open = true;
        if (!counter)
            return disk;
        const int extents = extentCount(disk->lib.handle);
        if (extents < 0 || libbfio_pool_initialize(&disk->extents.handle, extents,
                                                   LIBBFIO_POOL_UNLIMITED_NUMBER_OF_OPEN_HANDLES, nullptr) != 1)
            return nullptr;
        for (int i = 0; i < extents; ++i) {
            const std::string name = extentName(disk->lib.handle, i);
            if (name.empty())
                continue;
            const std::string file = findParent(path, name);
            BfioHandle io(file.empty() ? nullptr : countingFile(file, counter));
            if (io.handle == nullptr ||
                libbfio_pool_set_handle(disk->extents.handle, i, io.handle, LIBBFIO_OPEN_READ, nullptr) != 1)
                return nullptr;
            io.handle = nullptr; // the pool frees it
        }
        if (libvmdk_handle_open_extent_data_files_file_io_pool(disk->lib.handle, disk->extents.handle, nullptr) != 1)
            return nullptr;
        return disk;
    }

    /// Refuses, before the library opens them, extent files of the disk
    /// `path` that reading could block on (a pipe); notes the others as files
    /// the disk is read from, then opens them.
    bool admit(VmdkDisk& disk, const std::string& path, std::string& error) override
    {
        libvmdk_handle_t* handle = disk.lib.handle;
        // Without a count, the library's own open says what is wrong.
        const int extents = extentCount(handle);
        for (int i = 0; i < extents; ++i)
            for (const std::string& file : placesOf(path, extentName(handle, i))) {
                if (std::string kind = unreadableKind(file); !kind.empty()) {
                    error = "its extent file " + kind;
                    return false;
                }
                addFile(file);
            }
        if (VmdkCalls::Error e; libvmdk_handle_open_extent_data_files(handle, e.out()) != 1) {
            error = "the extent files of " + baseName(path) + " cannot be opened: " + e.text();
            return false;
        }
        return true;
    }

    std::string kindText(const VmdkDisk& disk) const override
    {
        int extents = 0;
        (void)libvmdk_handle_get_number_of_extents(disk.lib.handle, &extents, nullptr);
        return formatName(Format::Vmdk) + ", " + std::to_string(extents) + (extents == 1 ? " extent" : " extents");
    }
};

} // namespace

OpenedContainer openVmdk(const std::string& path)
{
    return openImage<VmdkImage>(path);
}

} // namespace sarvik::container::detail
