// VHD and VHDX disks through libvhdi: fixed, dynamic and differencing; a
// differencing disk reads through its parent chain.

#include "container/CountingFile.h"
#include "container/LibraryImage.h"

#include <libvhdi.h>

#include <vector>

namespace sarvik::container::detail {

namespace {

using Error = LibError<libvhdi_error_free, libvhdi_error_backtrace_sprint>;

/// One open VHD or VHDX file; closed and freed when it goes.
struct VhdiFile {
    libvhdi_file_t* file = nullptr;
    bool open = false;
    VhdiFile() = default;
    VhdiFile(const VhdiFile&) = delete;
    VhdiFile& operator=(const VhdiFile&) = delete;
    ~VhdiFile()
    {
        if (open)
            (void)libvhdi_file_close(file, nullptr);
        if (file != nullptr)
            (void)libvhdi_file_free(&file, nullptr);
    }
};

/// The parent a differencing disk names, as it names it; empty when it names none.
std::string parentName(libvhdi_file_t* file)
{
    std::size_t size = 0;
    if (libvhdi_file_get_utf8_parent_filename_size(file, &size, nullptr) != 1 || size <= 1)
        return {};
    std::string name(size, '\0');
    if (libvhdi_file_get_utf8_parent_filename(file, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1)
        return {};
    name.resize(name.find('\0'));
    return name;
}

class VhdiImage final : public LibraryImage {
public:
    explicit VhdiImage(Format format) : LibraryImage(format) {}
    ~VhdiImage() override
    {
        // A child before its parent: it reads through it to the last; the
        // files before what they read through.
        while (!m_probe.empty())
            m_probe.erase(m_probe.begin());
        while (!m_chain.empty())
            m_chain.erase(m_chain.begin());
    }
    VhdiImage(const VhdiImage&) = delete;
    VhdiImage& operator=(const VhdiImage&) = delete;

    /// Opens `path` and, for a differencing disk, its parents. The reason in
    /// `error` when one of them cannot be opened or is not found.
    bool open(const std::string& path, std::string& error)
    {
        std::string at = path;
        for (int depth = 0; depth <= kMaxParents; ++depth) {
            addFile(at);
            // The library opens the file as it is: a pipe would block it.
            if (std::string kind = unreadableKind(at); !kind.empty()) {
                error = (depth == 0 ? std::string{} : "its parent disk ") + kind;
                return false;
            }
            auto file = std::make_unique<VhdiFile>();
            // Read through a file that keeps blocks of it (see CountingFile.h).
            auto io = std::make_unique<BfioHandle>(countingFile(at, std::make_shared<std::uint64_t>(0)));
            Error e;
            if (io->handle == nullptr || libvhdi_file_initialize(&file->file, e.out()) != 1 ||
                libvhdi_file_open_file_io_handle(file->file, io->handle, LIBVHDI_OPEN_READ, e.out()) != 1) {
                error = (depth == 0 ? std::string{} : "its parent disk " + at + ": ") + e.text();
                return false;
            }
            file->open = true;
            m_chainFiles.push_back(std::move(io));
            if (!m_chain.empty() && libvhdi_file_set_parent_file(m_chain.back()->file, file->file, e.out()) != 1) {
                error = "its parent disk " + at + " does not match it: " + e.text();
                return false;
            }
            std::uint32_t diskType = 0;
            (void)libvhdi_file_get_disk_type(file->file, &diskType, nullptr);
            m_chain.push_back(std::move(file));
            m_paths.push_back(at);
            if (diskType != LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
                openProbes();
                return describeChain();
            }
            const std::string name = parentName(m_chain.back()->file);
            const std::string parent = findParent(at, name);
            if (parent.empty()) {
                error = "a differencing disk whose parent disk " + (name.empty() ? "(unnamed)" : baseName(name)) +
                        " is not found beside " + baseName(at);
                return false;
            }
            at = parent;
        }
        error = "its chain of parent disks is longer than " + std::to_string(kMaxParents);
        return false;
    }

protected:
    std::int64_t readSome(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        return libvhdi_file_read_buffer_at_offset(m_chain.front()->file, into, length, static_cast<off64_t>(offset),
                                                  nullptr);
    }

    bool probeNothingHeld(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        const std::uint64_t before = *m_probeBytes;
        return libvhdi_file_read_buffer_at_offset(m_probe.front()->file, into, length, static_cast<off64_t>(offset),
                                                  nullptr) == static_cast<ssize_t>(length) &&
               *m_probeBytes == before && allZero(into, length);
    }

private:
    /// The same chain again, through files that count what they read: the
    /// probe of what the disk holds. Without it, no region is known as empty.
    void openProbes()
    {
        for (const std::string& path : m_paths) {
            auto io = std::make_unique<BfioHandle>(countingFile(path, m_probeBytes));
            auto file = std::make_unique<VhdiFile>();
            if (io->handle == nullptr || libvhdi_file_initialize(&file->file, nullptr) != 1 ||
                libvhdi_file_open_file_io_handle(file->file, io->handle, LIBVHDI_OPEN_READ, nullptr) != 1)
                return;
            file->open = true;
            m_probeFiles.push_back(std::move(io));
            if (!m_probe.empty() && libvhdi_file_set_parent_file(m_probe.back()->file, file->file, nullptr) != 1)
                return;
            m_probe.push_back(std::move(file));
        }
        enableProbes();
    }

    bool describeChain()
    {
        size64_t media = 0;
        if (libvhdi_file_get_media_size(m_chain.front()->file, &media, nullptr) != 1)
            return false;
        setSize(media);
        std::uint32_t diskType = 0;
        (void)libvhdi_file_get_disk_type(m_chain.front()->file, &diskType, nullptr);
        std::string text = formatName(format());
        text += diskType == LIBVHDI_DISK_TYPE_FIXED     ? ", fixed"
                : diskType == LIBVHDI_DISK_TYPE_DYNAMIC ? ", dynamic"
                                                        : ", differencing";
        text += mediaText(media);
        for (std::size_t i = 1; i < m_chain.size(); ++i)
            text += "; parent " + baseName(parentName(m_chain[i - 1]->file));
        describe(text);
        return true;
    }

    std::vector<std::unique_ptr<BfioHandle>> m_chainFiles; ///< freed after the chain that reads them
    std::vector<std::unique_ptr<VhdiFile>> m_chain;        ///< the disk, then its parents in turn
    std::vector<std::string> m_paths;                      ///< their paths
    std::shared_ptr<std::uint64_t> m_probeBytes = std::make_shared<std::uint64_t>(0);
    std::vector<std::unique_ptr<BfioHandle>> m_probeFiles; ///< freed after the probe chain that reads them
    std::vector<std::unique_ptr<VhdiFile>> m_probe;        ///< the chain again, over m_probeFiles
};

} // namespace

OpenedContainer openVhdi(const std::string& path, Format format)
{
    OpenedContainer opened;
    auto image = std::make_shared<VhdiImage>(format);
    const bool open = image->open(path, opened.error);
    opened.files = image->files();
    if (open)
        opened.source = std::move(image);
    return opened;
}

} // namespace sarvik::container::detail
