// SPDX-License-Identifier: GPL-3.0-or-later
// Raw images split into numbered pieces (IMG.001, IMG.002 ...) through
// libsmraw, read as the one disk they were cut from.

#include "container/LibraryImage.h"

#include <libsmraw.h>

namespace sarvik::container::detail {

namespace {

using Error = LibError<libsmraw_error_free, libsmraw_error_backtrace_sprint>;

class SmrawImage final : public LibraryImage {
public:
    SmrawImage() : LibraryImage(Format::SplitRaw) {}

    bool open(const std::string& path, std::string& error)
    {
        GlobNames<libsmraw_glob_free> pieces;
        Error e;
        if (libsmraw_glob(path.c_str(), path.size(), &pieces.names, &pieces.count, e.out()) != 1 || pieces.count < 1) {
            error = "its pieces cannot be listed: " + e.text();
            return false;
        }
        if (!addParts(pieces, "piece", error))
            return false;
        if (libsmraw_handle_initialize(&m_handle.handle, e.out()) != 1 ||
            libsmraw_handle_open(m_handle.handle, pieces.names, pieces.count, LIBSMRAW_OPEN_READ, e.out()) != 1) {
            error = e.text();
            return false;
        }
        m_handle.open = true;
        size64_t media = 0;
        if (libsmraw_handle_get_media_size(m_handle.handle, &media, e.out()) != 1) {
            error = e.text();
            return false;
        }
        setSize(media);
        describe(formatName(Format::SplitRaw) + ", " + std::to_string(pieces.count) + " pieces" + mediaText(media));
        return true;
    }

protected:
    std::int64_t readSome(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        return libsmraw_handle_read_buffer_at_offset(m_handle.handle, into, length, static_cast<off64_t>(offset),
                                                     nullptr);
    }

private:
    LibObject<libsmraw_handle_t, libsmraw_handle_close, libsmraw_handle_free> m_handle;
};

} // namespace

OpenedContainer openSmraw(const std::string& path)
{
    return openImage<SmrawImage>(path);
}

} // namespace sarvik::container::detail
