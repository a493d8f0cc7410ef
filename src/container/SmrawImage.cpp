// Raw images split into numbered pieces (IMG.001, IMG.002 ...) through
// libsmraw, read as the one disk they were cut from.

#include "container/LibraryImage.h"

#include <libsmraw.h>

namespace sarvik::container::detail {

namespace {

using Error = LibError<libsmraw_error_free, libsmraw_error_backtrace_sprint>;

/// The piece names libsmraw finds from the first one; freed when it goes.
struct PieceNames {
    char** names = nullptr;
    int count = 0;
    PieceNames() = default;
    PieceNames(const PieceNames&) = delete;
    PieceNames& operator=(const PieceNames&) = delete;
    ~PieceNames()
    {
        if (names != nullptr)
            (void)libsmraw_glob_free(names, count, nullptr);
    }
};

class SmrawImage final : public LibraryImage {
public:
    SmrawImage() : LibraryImage(Format::SplitRaw) {}
    ~SmrawImage() override
    {
        if (m_open)
            (void)libsmraw_handle_close(m_handle, nullptr);
        if (m_handle != nullptr)
            (void)libsmraw_handle_free(&m_handle, nullptr);
    }
    SmrawImage(const SmrawImage&) = delete;
    SmrawImage& operator=(const SmrawImage&) = delete;

    bool open(const std::string& path, std::string& error)
    {
        PieceNames pieces;
        Error e;
        if (libsmraw_glob(path.c_str(), path.size(), &pieces.names, &pieces.count, e.out()) != 1 || pieces.count < 1) {
            error = "its pieces cannot be listed: " + e.text();
            return false;
        }
        for (int i = 0; i < pieces.count; ++i)
            addFile(pieces.names[i]); // NOLINT: libsmraw's array
        for (int i = 0; i < pieces.count; ++i)
            if (std::string kind = unreadableKind(pieces.names[i]); !kind.empty()) { // NOLINT: libsmraw's array
                error = "its piece " + kind;
                return false;
            }
        if (libsmraw_handle_initialize(&m_handle, e.out()) != 1 ||
            libsmraw_handle_open(m_handle, pieces.names, pieces.count, LIBSMRAW_OPEN_READ, e.out()) != 1) {
            error = e.text();
            return false;
        }
        m_open = true;
        size64_t media = 0;
        if (libsmraw_handle_get_media_size(m_handle, &media, e.out()) != 1) {
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
        return libsmraw_handle_read_buffer_at_offset(m_handle, into, length, static_cast<off64_t>(offset), nullptr);
    }

private:
    libsmraw_handle_t* m_handle = nullptr;
    bool m_open = false;
};

} // namespace

OpenedContainer openSmraw(const std::string& path)
{
    OpenedContainer opened;
    auto image = std::make_shared<SmrawImage>();
    const bool open = image->open(path, opened.error);
    opened.files = image->files();
    if (open)
        opened.source = std::move(image);
    return opened;
}

} // namespace sarvik::container::detail
