// EnCase images (E01 and its segments) through libewf. A chunk whose checksum
// fails is an unreadable stretch, as a bad sector of a device is, at every read.

#include "container/LibraryImage.h"

#include <libewf.h>

#include <algorithm>
#include <string_view>

namespace sarvik::container::detail {

namespace {

using Error = LibError<libewf_error_free, libewf_error_backtrace_sprint>;

/// The segment file names libewf finds from the first one; freed when it goes.
struct SegmentNames {
    char** names = nullptr;
    int count = 0;
    SegmentNames() = default;
    SegmentNames(const SegmentNames&) = delete;
    SegmentNames& operator=(const SegmentNames&) = delete;
    ~SegmentNames()
    {
        if (names != nullptr)
            (void)libewf_glob_free(names, count, nullptr);
    }
};

class EwfImage final : public LibraryImage {
public:
    explicit EwfImage(Format format) : LibraryImage(format) {}
    ~EwfImage() override
    {
        if (m_open)
            (void)libewf_handle_close(m_handle, nullptr);
        if (m_handle != nullptr)
            (void)libewf_handle_free(&m_handle, nullptr);
    }
    EwfImage(const EwfImage&) = delete;
    EwfImage& operator=(const EwfImage&) = delete;

    /// Opens the set of segments whose first is `path`; the reason in `error`
    /// when a segment is missing or damaged past reading.
    bool open(const std::string& path, std::string& error)
    {
        SegmentNames segments;
        Error e;
        if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &segments.names, &segments.count, e.out()) !=
                1 ||
            segments.count < 1) {
            error = "its segment files cannot be listed: " + e.text();
            return false;
        }
        // libewf opens each segment as it is: a pipe among them would block it.
        for (int i = 0; i < segments.count; ++i)
            addFile(segments.names[i]); // NOLINT: libewf's array
        for (int i = 0; i < segments.count; ++i)
            if (std::string kind = unreadableKind(segments.names[i]); !kind.empty()) { // NOLINT: libewf's array
                error = "its segment " + kind;
                return false;
            }
        if (libewf_handle_initialize(&m_handle, e.out()) != 1 ||
            libewf_handle_open(m_handle, segments.names, segments.count, LIBEWF_OPEN_READ, e.out()) != 1) {
            error = e.text();
            return false;
        }
        m_open = true;
        // A set whose last segment does not close it (no "done" section) lost
        // the segments after it: their stretch of the media cannot be read.
        if (libewf_handle_segment_files_corrupted(m_handle, nullptr) == 1)
            setWarning("its last segment, " + baseName(segments.names[segments.count - 1]) + // NOLINT
                       ", does not end the set: segments after it are missing or damaged, and the media they "
                       "held cannot be read");
        size64_t media = 0;
        if (libewf_handle_get_media_size(m_handle, &media, e.out()) != 1) {
            error = e.text();
            return false;
        }
        setSize(media);
        if (libewf_handle_get_bytes_per_sector(m_handle, &m_sectorBytes, nullptr) != 1 || m_sectorBytes == 0)
            m_sectorBytes = 512;
        std::string text = formatName(format()) + ", " + std::to_string(segments.count) +
                           (segments.count == 1 ? " segment" : " segments") + mediaText(media);
        (void)libewf_handle_set_header_values_date_format(m_handle, LIBEWF_DATE_FORMAT_ISO8601, nullptr);
        if (const std::string acquired = headerValue("acquiry_date"); !acquired.empty())
            text += "; acquired " + acquired;
        std::vector<std::string> hashes;
        for (const std::string_view kind : {"MD5", "SHA1"})
            if (const std::string value = hashValue(kind); !value.empty())
                hashes.push_back(std::string(kind) + " " + value);
        describe(text, hashes);
        return true;
    }

protected:
    std::int64_t readSome(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        const ssize_t got = libewf_handle_read_random(m_handle, into, length, static_cast<off64_t>(offset), nullptr);
        // libewf hands back a chunk whose checksum fails zero-filled, and
        // notes its sectors in a list of ranges (merged, kept for later reads).
        return got > 0 && touchesChecksumError(offset, static_cast<std::uint64_t>(got)) ? -1 : got;
    }

private:
    /// True when the `length` bytes at `offset` reach a sector libewf found damaged.
    bool touchesChecksumError(std::uint64_t offset, std::uint64_t length) const
    {
        std::uint32_t ranges = 0;
        if (libewf_handle_get_number_of_checksum_errors(m_handle, &ranges, nullptr) != 1 || ranges == 0 ||
            m_sectorBytes == 0)
            return false;
        const std::uint64_t first = offset / m_sectorBytes;
        const std::uint64_t last = (offset + length - 1) / m_sectorBytes;
        for (std::uint32_t i = 0; i < ranges; ++i) {
            std::uint64_t start = 0;
            std::uint64_t count = 0;
            if (libewf_handle_get_checksum_error(m_handle, i, &start, &count, nullptr) == 1 && start <= last &&
                first - std::min(first, start) < count)
                return true;
        }
        return false;
    }

    std::string headerValue(std::string_view name) const
    {
        std::string value(256, '\0');
        if (libewf_handle_get_utf8_header_value(m_handle, reinterpret_cast<const std::uint8_t*>(name.data()),
                                                name.size(), reinterpret_cast<std::uint8_t*>(value.data()),
                                                value.size(), nullptr) != 1)
            return {};
        value.resize(value.find('\0'));
        return value;
    }

    std::string hashValue(std::string_view name) const
    {
        std::string value(128, '\0');
        if (libewf_handle_get_utf8_hash_value(m_handle, reinterpret_cast<const std::uint8_t*>(name.data()), name.size(),
                                              reinterpret_cast<std::uint8_t*>(value.data()), value.size(),
                                              nullptr) != 1)
            return {};
        value.resize(value.find('\0'));
        return value;
    }

    libewf_handle_t* m_handle = nullptr;
    bool m_open = false;
    std::uint32_t m_sectorBytes = 512; ///< the unit of libewf's lists of damaged sectors
};

} // namespace

OpenedContainer openEwf(const std::string& path, Format format)
{
    OpenedContainer opened;
    auto image = std::make_shared<EwfImage>(format);
    const bool open = image->open(path, opened.error);
    opened.files = image->files();
    if (open)
        opened.source = std::move(image);
    return opened;
}

} // namespace sarvik::container::detail
