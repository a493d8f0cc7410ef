// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegularFile.h"

#include "platform/NativeFile.h"

namespace sarvik::platform {

namespace {

bool fail(std::string& error, const std::string& path, const std::string& reason)
{
    error = path + ": " + reason;
    return false;
}

} // namespace

bool writeRegularFile(const std::string& path, std::span<const std::byte> bytes, bool replace, std::string& error)
{
    if (const auto refused = refusedTarget(path, replace))
        return fail(error, path, *refused);
    std::string temporary;
    std::string why;
    const std::optional<NativeFile> file = createBeside(path, temporary, why);
    if (!file)
        return fail(error, path, why);
    bool whole = writeAll(*file, bytes, why) && syncFile(*file, why);
    std::string closeWhy;
    if (!closeFile(*file, closeWhy) && whole) {
        whole = false;
        why = closeWhy;
    }
    if (whole && moveIntoPlace(temporary, path, replace, why))
        return true;
    removeFile(temporary); // nothing half-written is left behind
    return fail(error, path, why);
}

} // namespace sarvik::platform
