#pragma once
// The block sources of this system: devices and image files, opened read-only,
// and the provider through which the core opens them. What a device path names
// and how a failure is told are the same on every system (Devices.cpp); opening,
// the access check and the label are each system's own (PosixDevice.cpp,
// WinDevice.cpp).

#include "disk/Volume.h"

#include <memory>
#include <optional>
#include <string>

namespace sarvik::platform {

/// Opens a device or an image file as it is (no "@N" partition suffix),
/// read-only. Nothing, with the reason in `error`, when it cannot be opened.
std::shared_ptr<const disk::BlockSource> openWholeSource(const std::string& path, std::string* error = nullptr);

/// True when the system refuses to let this user read the file or device
/// `path` (no "@N" suffix), rather than it being missing or unreadable.
[[nodiscard]] bool accessRefused(const std::string& path);

/// The label of the volume that a device path names (a partition "PATH@N"
/// too) as the system finds it; nothing when it finds none.
[[nodiscard]] std::optional<std::string> readVolumeLabel(const std::string& devicePath);

/// Opens this system's devices, images and their partitions for the core.
class SystemDeviceProvider final : public disk::DeviceProvider {
public:
    disk::OpenResult open(const std::string& devicePath) override;
    std::optional<std::string> volumeLabel(const std::string& devicePath) override;
};

/// The provider through which the core opens this system's devices.
std::unique_ptr<disk::DeviceProvider> makeDeviceProvider();

} // namespace sarvik::platform
