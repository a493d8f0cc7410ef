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
    std::string why;
    const std::optional<NativeFile> file = openRegularFile(path, replace, why);
    if (!file)
        return fail(error, path, why);
    if (!writeAll(*file, bytes, why)) {
        std::string ignored; // the failed write is the reason to give
        (void)closeFile(*file, ignored);
        return fail(error, path, why);
    }
    if (!closeFile(*file, why))
        return fail(error, path, why);
    return true;
}

} // namespace sarvik::platform
