#include "platform/Devices.h"

#include "platform/PartitionSource.h"

namespace sarvik::platform {

disk::OpenResult SystemDeviceProvider::open(const std::string& devicePath)
{
    disk::OpenResult result;
    result.source = openVolumeSource(devicePath, &result.error);
    // The file itself, or the whole disk that a partition path names, tells
    // whether access was refused; the message is kept.
    if (!result.source)
        result.accessDenied = accessRefused(resolvePartitionPath(devicePath).path);
    return result;
}

std::optional<std::string> SystemDeviceProvider::volumeLabel(const std::string& devicePath)
{
    return readVolumeLabel(devicePath);
}

std::unique_ptr<disk::DeviceProvider> makeDeviceProvider()
{
    return std::make_unique<SystemDeviceProvider>();
}

} // namespace sarvik::platform
