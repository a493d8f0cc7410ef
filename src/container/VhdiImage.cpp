// SPDX-License-Identifier: GPL-3.0-or-later
// VHD and VHDX disks through libvhdi: fixed, dynamic and differencing; a
// differencing disk reads through its parent chain.

#include "container/ChainImage.h"
#include "container/CountingFile.h"

#include <libvhdi.h>

namespace sarvik::container::detail {

namespace {

/// One open VHD or VHDX file and the file it reads through; the VHD file goes first.
struct VhdiDisk {
    BfioHandle io;
    LibObject<libvhdi_file_t, libvhdi_file_close, libvhdi_file_free> lib;
};

struct VhdiCalls {
    using Error = LibError<libvhdi_error_free, libvhdi_error_backtrace_sprint>;
    static constexpr auto kSetParent = libvhdi_file_set_parent_file;
    static constexpr auto kRead = libvhdi_file_read_buffer_at_offset;
    static constexpr auto kMediaSize = libvhdi_file_get_media_size;
    static constexpr auto kParentNameSize = libvhdi_file_get_utf8_parent_filename_size;
    static constexpr auto kParentName = libvhdi_file_get_utf8_parent_filename;
};

std::uint32_t diskType(const VhdiDisk& disk)
{
    std::uint32_t type = 0;
    (void)libvhdi_file_get_disk_type(disk.lib.handle, &type, nullptr);
    return type;
}

class VhdiImage final : public ChainImage<VhdiDisk, VhdiCalls> {
public:
    explicit VhdiImage(Format format)
        : ChainImage(format, {"parent disk", "parent", "a differencing disk", "does not match it"})
    {
    }

protected:
    std::unique_ptr<VhdiDisk> openDisk(const std::string& path, const std::shared_ptr<std::uint64_t>& counter,
                                       std::string& reason) const override
    {
        auto disk = std::make_unique<VhdiDisk>();
        // Always read through a file that keeps blocks of it (see CountingFile.h).
        disk->io.handle = countingFile(path, counter ? counter : std::make_shared<std::uint64_t>(0));
        VhdiCalls::Error e;
        if (disk->io.handle == nullptr || libvhdi_file_initialize(&disk->lib.handle, e.out()) != 1 ||
            libvhdi_file_open_file_io_handle(disk->lib.handle, disk->io.handle, LIBVHDI_OPEN_READ, e.out()) != 1) {
            reason = e.text();
            return nullptr;
        }
        disk->lib.open = true;
        return disk;
    }

    bool hasParent(const VhdiDisk& disk) const override { return diskType(disk) == LIBVHDI_DISK_TYPE_DIFFERENTIAL; }

    std::string shownName(const std::string& name) const override
    {
        return name.empty() ? "(unnamed)" : baseName(name);
    }

    std::string kindText(const VhdiDisk& disk) const override
    {
        const std::uint32_t type = diskType(disk);
        return formatName(format()) + (type == LIBVHDI_DISK_TYPE_FIXED     ? ", fixed"
                                       : type == LIBVHDI_DISK_TYPE_DYNAMIC ? ", dynamic"
                                                                           : ", differencing");
    }
};

} // namespace

OpenedContainer openVhdi(const std::string& path, Format format)
{
    return openImage<VhdiImage>(path, format);
}

} // namespace sarvik::container::detail
