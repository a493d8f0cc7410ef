#pragma once
// The block sources of this system: devices and image files, opened read-only.
// Each system has its own implementation (PosixDevice.cpp, WinDevice.cpp).

#include "disk/Volume.h"

#include <memory>
#include <string>

namespace sarvik::platform {

/// Opens a device or an image file as it is (no "@N" partition suffix),
/// read-only. Nothing, with the reason in `error`, when it cannot be opened.
std::shared_ptr<const disk::BlockSource> openWholeSource(const std::string& path, std::string* error = nullptr);

/// The provider through which the core opens this system's devices.
std::unique_ptr<disk::DeviceProvider> makeDeviceProvider();

} // namespace sarvik::platform
