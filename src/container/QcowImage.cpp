// SPDX-License-Identifier: GPL-3.0-or-later
// QCOW disks (versions 1 to 3) through libqcow; a disk with a backing file
// reads through its chain of backing files.

#include "container/ChainImage.h"
#include "container/CountingFile.h"

#include <libqcow.h>

namespace sarvik::container::detail {

namespace {

/// One open QCOW file, and the file it reads through when it was opened over
/// one of ours; the QCOW file goes first.
struct QcowDisk {
    BfioHandle io;
    LibObject<libqcow_file_t, libqcow_file_close, libqcow_file_free> lib;
};

struct QcowCalls {
    using Error = LibError<libqcow_error_free, libqcow_error_backtrace_sprint>;
    static constexpr auto kSetParent = libqcow_file_set_parent_file;
    static constexpr auto kRead = libqcow_file_read_buffer_at_offset;
    static constexpr auto kMediaSize = libqcow_file_get_media_size;
    static constexpr auto kParentNameSize = libqcow_file_get_utf8_backing_filename_size;
    static constexpr auto kParentName = libqcow_file_get_utf8_backing_filename;
};

class QcowImage final : public ChainImage<QcowDisk, QcowCalls> {
public:
    QcowImage() : ChainImage(Format::Qcow, {"backing file", "backing file", "a disk", "does not fit it"}) {}

protected:
    std::unique_ptr<QcowDisk> openDisk(const std::string& path, const std::shared_ptr<std::uint64_t>& counter,
                                       std::string& reason) const override
    {
        auto disk = std::make_unique<QcowDisk>();
        QcowCalls::Error e;
        if (counter)
            disk->io.handle = countingFile(path, counter);
        if ((counter && disk->io.handle == nullptr) || libqcow_file_initialize(&disk->lib.handle, e.out()) != 1 ||
            (counter ? libqcow_file_open_file_io_handle(disk->lib.handle, disk->io.handle, LIBQCOW_OPEN_READ, e.out())
                     : libqcow_file_open(disk->lib.handle, path.c_str(), LIBQCOW_OPEN_READ, e.out())) != 1) {
            reason = e.text();
            return nullptr;
        }
        disk->lib.open = true;
        return disk;
    }

    bool admit(QcowDisk& disk, const std::string& path, std::string& error) override
    {
        std::uint32_t encryption = LIBQCOW_ENCRYPTION_METHOD_NONE;
        (void)libqcow_file_get_encryption_method(disk.lib.handle, &encryption, nullptr);
        if (encryption == LIBQCOW_ENCRYPTION_METHOD_NONE)
            return true;
        error = baseName(path) + " is encrypted, which this program does not read";
        return false;
    }

    std::string kindText(const QcowDisk& disk) const override
    {
        std::uint32_t version = 0;
        (void)libqcow_file_get_format_version(disk.lib.handle, &version, nullptr);
        // Version 3 is QCOW2 with more header fields, as QEMU names it.
        std::string text = version == 1 ? "QEMU disk (QCOW)" : "QEMU disk (QCOW2)";
        if (version > 2)
            text += ", version " + std::to_string(version);
        return text;
    }
};

} // namespace

OpenedContainer openQcow(const std::string& path)
{
    return openImage<QcowImage>(path);
}

} // namespace sarvik::container::detail
