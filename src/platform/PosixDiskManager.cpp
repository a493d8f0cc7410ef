// SPDX-License-Identifier: GPL-3.0-or-later
// The disk manager reached through sd-bus: the device's object from the
// manager's ResolveDevice, then the block's OpenDevice, which answers with a
// file descriptor.

#include "platform/DiskManager.h"

#include "platform/Devices.h"

#include <cerrno>
#include <cstring>
#include <systemd/sd-bus.h>

namespace sarvik::platform {

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
/// An open waits while polkit asks for the password: five minutes, in microseconds.
constexpr std::uint64_t kOpenTimeoutUs = 5ULL * 60 * 1000 * 1000;

/// Owns the bus connection, a message and an error of one exchange.
struct Exchange {
    sd_bus* bus = nullptr;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error{}; // SD_BUS_ERROR_NULL: no name, no message
    Exchange() = default;
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;
    ~Exchange()
    {
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_message_unref(call);
        sd_bus_flush_close_unref(bus);
    }
    /// Drops the last call's reply and error for the next call.
    void reset()
    {
        sd_bus_error_free(&error);
        error = {};
        reply = sd_bus_message_unref(reply);
        call = sd_bus_message_unref(call);
    }
};

/// The outcome a failed call gives: the service gone is Unavailable, anything
/// else it said is its refusal.
DiskManagerOpen failure(const sd_bus_error& error, int result)
{
    const bool gone = sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) != 0 ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER) != 0 ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_METHOD) != 0 ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT) != 0 ||
                      sd_bus_error_has_name(&error, SD_BUS_ERROR_DISCONNECTED) != 0;
    std::string reason = error.message != nullptr ? error.message
                         : error.name != nullptr  ? error.name
                                                  : std::strerror(-result);
    return {gone ? DiskManagerOpen::Outcome::Unavailable : DiskManagerOpen::Outcome::Refused, std::move(reason)};
}

} // namespace

DiskManagerOpen openThroughDiskManager(const std::string& devicePath)
{
    Exchange x;
    if (const int r = sd_bus_open_system(&x.bus); r < 0)
        return {DiskManagerOpen::Outcome::Unavailable, std::string("no system bus: ") + std::strerror(-r)};
    // The block object of the device: {"path": devicePath} resolves it.
    int r =
        sd_bus_call_method(x.bus, kService, "/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager",
                           "ResolveDevice", &x.error, &x.reply, "a{sv}a{sv}", 1, "path", "s", devicePath.c_str(), 0);
    if (r < 0)
        return failure(x.error, r);
    const char* object = nullptr;
    if (sd_bus_message_enter_container(x.reply, 'a', "o") < 0 || sd_bus_message_read(x.reply, "o", &object) <= 0)
        return {DiskManagerOpen::Outcome::Unavailable, "UDisks2 does not know " + devicePath};
    const std::string blockObject = object;
    x.reset();

    r = sd_bus_message_new_method_call(x.bus, &x.call, kService, blockObject.c_str(), "org.freedesktop.UDisks2.Block",
                                       "OpenDevice");
    if (r >= 0)
        r = sd_bus_message_append(x.call, "sa{sv}", "r", 1, "auth.no_user_interaction", "b", 0);
    // polkit's agent may ask the user for the password before the answer comes.
    if (r >= 0)
        r = sd_bus_message_set_allow_interactive_authorization(x.call, 1);
    if (r < 0)
        return {DiskManagerOpen::Outcome::Unavailable, std::strerror(-r)};
    r = sd_bus_call(x.bus, x.call, kOpenTimeoutUs, &x.error, &x.reply);
    if (r < 0)
        return failure(x.error, r);
    int fd = -1;
    if (sd_bus_message_read(x.reply, "h", &fd) <= 0 || fd < 0)
        return {DiskManagerOpen::Outcome::Refused, "UDisks2 answered without a file descriptor"};
    // The descriptor belongs to the reply: the served path keeps a copy.
    std::string error;
    if (!serveDevice(devicePath, fd, error))
        return {DiskManagerOpen::Outcome::Refused, error};
    return {DiskManagerOpen::Outcome::Opened, {}};
}

} // namespace sarvik::platform
