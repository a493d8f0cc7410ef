// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The block sources of this system: devices and image files, opened read-only,
// and the provider through which the core opens them. Reading within a
// source's bounds, in whole aligned sectors where a device demands them, what a
// device path names and how a failure is told are the same on every system
// (Devices.cpp); opening, reading at an offset, the access check and the label
// are each system's own (PosixDevice.cpp, WinDevice.cpp).

#include "disk/Volume.h"
#include "platform/NativeFile.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sarvik::platform {

/// A device or an image file opened read-only: nothing in this program can
/// write through it. A device that takes only reads of whole sectors into
/// sector-aligned memory (a raw volume or disk on Windows) is read through an
/// aligned bounce buffer.
class SystemBlockSource final : public disk::BlockSource {
public:
    /// Opens `path` read-only; nothing, with the reason in `error`, when it
    /// cannot be opened or is neither an image file nor a device (a raw device
    /// that needs more rights says how to get them). `accessDenied` tells
    /// whether the system refused this user. `sectorBytes` (a power of two)
    /// reads an image in whole aligned sectors as a device of that sector size
    /// must be read; 0 takes the device's own.
    static std::shared_ptr<SystemBlockSource> open(const std::string& path, std::string* error = nullptr,
                                                   bool* accessDenied = nullptr, std::uint32_t sectorBytes = 0);
    ~SystemBlockSource() override;
    SystemBlockSource(const SystemBlockSource&) = delete;
    SystemBlockSource& operator=(const SystemBlockSource&) = delete;

    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override;
    /// The holes of a sparse image file, as the system reports them (mapped
    /// once, on first use); none on a device.
    [[nodiscard]] std::uint64_t knownZeros(std::uint64_t offset) const override;
    /// Every read names its own position (pread, or ReadFile at an offset).
    [[nodiscard]] bool readsInParallel() const override { return true; }

private:
    SystemBlockSource(NativeFile file, std::uint64_t size, std::uint32_t sectorBytes, std::string path)
        : m_file(file), m_size(size), m_sectorBytes(sectorBytes), m_path(std::move(path))
    {
    }
    [[nodiscard]] disk::ReadStatus readBytes(std::uint64_t offset, disk::MutableByteSpan buffer) const;

    NativeFile m_file;
    std::uint64_t m_size;
    std::uint32_t m_sectorBytes; ///< 1 when any read will do
    std::string m_path;          ///< as opened, for the trace
    mutable std::once_flag m_holesMapped;
    mutable std::vector<std::pair<std::uint64_t, std::uint64_t>> m_holes; ///< [start, end), ascending
};

/// A device or image file as the system opened it for reading.
struct OpenedDevice {
    NativeFile file{};
    std::uint64_t size = 0;
    std::uint32_t sectorBytes = 1; ///< the whole sectors every read must take; 1 for any read
};

/// Opens the device or image file `path` (no "@N" suffix) read-only, this
/// system's way. Nothing, with the reason in `error` and in `accessDenied`
/// whether the system refused this user, when it cannot.
[[nodiscard]] std::optional<OpenedDevice> openDevice(const std::string& path, std::string& error, bool& accessDenied);

#if !defined(_WIN32)
/// Serves `path` (a device, no "@N" suffix) from `file`, a descriptor of it
/// that a service allowed to open it handed over (the system's disk manager
/// opening it on the user's behalf): from now on openDevice(path) reads a copy
/// of it instead of opening `path`. A copy of `file` is kept; the caller still
/// owns `file`. False, with the system's reason in `error`, when no copy can
/// be made.
[[nodiscard]] bool serveDevice(const std::string& path, NativeFile file, std::string& error);

/// True when serveDevice serves `path`.
[[nodiscard]] bool deviceServed(const std::string& path);

/// Stops serving `path` (its device went away: a device plugged in again under
/// the name is opened anew); sources already open keep reading their own copy.
void stopServing(const std::string& path);
#endif

/// Reads exactly `length` bytes at `offset` into `into`, both aligned as the
/// device wants. False when the system fails or the device ends first.
[[nodiscard]] bool readAt(NativeFile file, std::uint64_t offset, std::byte* into, std::size_t length);

/// The holes of the image file `file` of `size` bytes ([start, end), ascending),
/// at most `limit` of them, as the system reports them; none for a device, or
/// where the system does not say.
[[nodiscard]] std::vector<std::pair<std::uint64_t, std::uint64_t>> fileHoles(NativeFile file, std::uint64_t size,
                                                                             std::size_t limit);

/// Opens a device or an image file as it is (no "@N" partition suffix),
/// read-only; a disk image container (E01, VHD, VMDK, QCOW, a split raw set
/// from its first piece) as the disk it holds. Nothing, with the reason in
/// `error`, when it cannot be opened or is a container this build cannot read.
std::shared_ptr<const disk::BlockSource> openWholeSource(const std::string& path, std::string* error = nullptr);

/// Every file the device or image `source` ("PATH@N" too) is read from: its
/// PATH and, for a container, its other segments, extent files and parent or
/// backing files. Just PATH when it is no container or cannot be opened.
[[nodiscard]] std::vector<std::string> filesReadFor(const std::string& source);

/// What is wrong with the container `source` ("PATH@N" too) holds that still
/// let it open (an E01 set missing its last segments); empty when nothing is,
/// or it is no container.
[[nodiscard]] std::string containerWarning(const std::string& source);

/// True when the system refuses to let this user read the file or device
/// `path` (no "@N" suffix), rather than it being missing or unreadable.
[[nodiscard]] bool accessRefused(const std::string& path);

/// True when this process already has the administrator's rights (root, or an
/// elevated Windows process): a refusal then has another cause than the user.
[[nodiscard]] bool runningAsAdministrator();

/// The label of the volume that a device path names (a partition "PATH@N"
/// too) as the system finds it; nothing when it finds none.
[[nodiscard]] std::optional<std::string> readVolumeLabel(const std::string& devicePath);

/// Opens this system's devices, images and their partitions for the core.
class SystemDeviceProvider final : public disk::DeviceProvider {
public:
    disk::OpenResult open(const std::string& devicePath) override;
    std::optional<std::string> volumeLabel(const std::string& devicePath) override;
    [[nodiscard]] bool administrator() const override { return runningAsAdministrator(); }
};

/// The provider through which the core opens this system's devices.
std::unique_ptr<disk::DeviceProvider> makeDeviceProvider();

} // namespace sarvik::platform
