// SPDX-License-Identifier: GPL-3.0-or-later
// EnCase images (E01 and its segments) through libewf. A chunk whose checksum
// fails is an unreadable stretch, as a bad sector of a device is, at every read.

#include "container/LibraryImage.h"

#include <libewf.h>

#include <algorithm>
#include <string_view>

namespace sarvik::container::detail {

namespace {

using Error = LibError<libewf_error_free, libewf_error_backtrace_sprint>;

class EwfImage final : public LibraryImage {
public:
    explicit EwfImage(Format format) : LibraryImage(format) {}

    /// Opens the set of segments whose first is `path`; the reason in `error`
    /// when a segment is missing or damaged past reading.
    bool open(const std::string& path, std::string& error)
    {
        GlobNames<libewf_glob_free> segments;
        Error e;
        if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &segments.names, &segments.count, e.out()) !=
                1 ||
            segments.count < 1) {
            error = "its segment files cannot be listed: " + e.text();
            return false;
        }
        // libewf opens each segment as it is: a pipe among them would block it.
        if (!addParts(segments, "segment", error))
            return false;
        if (libewf_handle_initialize(&m_handle.handle, e.out()) != 1 ||
            libewf_handle_open(m_handle.handle, segments.names, segments.count, LIBEWF_OPEN_READ, e.out()) != 1) {
            error = e.text();
            return false;
        }
        m_handle.open = true;
        // A set whose last segment does not close it (no "done" section) lost
        // the segments after it: their stretch of the media cannot be read.
        if (libewf_handle_segment_files_corrupted(m_handle.handle, nullptr) == 1)
            setWarning("its last segment, " + baseName(segments[segments.count - 1]) +
                       ", does not end the set: segments after it are missing or damaged, and the media they "
                       "held cannot be read");
        size64_t media = 0;
        if (libewf_handle_get_media_size(m_handle.handle, &media, e.out()) != 1) {
            error = e.text();
            return false;
        }
        setSize(media);
        if (libewf_handle_get_bytes_per_sector(m_handle.handle, &m_sectorBytes, nullptr) != 1 || m_sectorBytes == 0)
            m_sectorBytes = 512;
        std::string text = formatName(format()) + ", " + std::to_string(segments.count) +
                           (segments.count == 1 ? " segment" : " segments") + mediaText(media);
        (void)libewf_handle_set_header_values_date_format(m_handle.handle, LIBEWF_DATE_FORMAT_ISO8601, nullptr);
        if (const std::string acquired = storedValue(libewf_handle_get_utf8_header_value, "acquiry_date", 256);
            !acquired.empty())
            text += "; acquired " + acquired;
        std::vector<std::string> hashes;
        for (const std::string_view kind : {"MD5", "SHA1"})
            if (const std::string value = storedValue(libewf_handle_get_utf8_hash_value, kind, 128); !value.empty())
                hashes.push_back(std::string(kind) + " " + value);
        describe(text, hashes);
        return true;
    }

protected:
    std::int64_t readSome(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        const ssize_t got =
            libewf_handle_read_random(m_handle.handle, into, length, static_cast<off64_t>(offset), nullptr);
        // libewf hands back a chunk whose checksum fails zero-filled, and
        // notes its sectors in a list of ranges (merged, kept for later reads).
        return got > 0 && touchesChecksumError(offset, static_cast<std::uint64_t>(got)) ? -1 : got;
    }

private:
    /// True when the `length` bytes at `offset` reach a sector libewf found damaged.
    bool touchesChecksumError(std::uint64_t offset, std::uint64_t length) const
    {
        std::uint32_t ranges = 0;
        if (libewf_handle_get_number_of_checksum_errors(m_handle.handle, &ranges, nullptr) != 1 || ranges == 0 ||
            m_sectorBytes == 0)
            return false;
        const std::uint64_t first = offset / m_sectorBytes;
        const std::uint64_t last = (offset + length - 1) / m_sectorBytes;
        for (std::uint32_t i = 0; i < ranges; ++i) {
            std::uint64_t start = 0;
            std::uint64_t count = 0;
            if (libewf_handle_get_checksum_error(m_handle.handle, i, &start, &count, nullptr) == 1 && start <= last &&
                first - std::min(first, start) < count)
                return true;
        }
        return false;
    }

    /// A header value ("acquiry_date") or a stored hash ("MD5") through
    /// `get`, the library's call for its kind; empty when the image has none.
    using ValueCall = int (*)(libewf_handle_t*, const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t,
                              libewf_error_t**);
    std::string storedValue(ValueCall get, std::string_view name, std::size_t room) const
    {
        std::string text(room, '\0');
        if (get(m_handle.handle, reinterpret_cast<const std::uint8_t*>(name.data()), name.size(),
                reinterpret_cast<std::uint8_t*>(text.data()), text.size(), nullptr) != 1)
            return {};
        text.resize(text.find('\0'));
        return text;
    }

    LibObject<libewf_handle_t, libewf_handle_close, libewf_handle_free> m_handle;
    std::uint32_t m_sectorBytes = 512; ///< the unit of libewf's lists of damaged sectors
};

} // namespace

OpenedContainer openEwf(const std::string& path, Format format)
{
    return openImage<EwfImage>(path, format);
}

} // namespace sarvik::container::detail
