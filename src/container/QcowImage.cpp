// QCOW disks (versions 1 to 3) through libqcow; a disk with a backing file
// reads through its chain of backing files.

#include "container/CountingFile.h"
#include "container/LibraryImage.h"

#include <libqcow.h>

#include <vector>

namespace sarvik::container::detail {

namespace {

using Error = LibError<libqcow_error_free, libqcow_error_backtrace_sprint>;

/// One open QCOW file; closed and freed when it goes.
struct QcowFile {
    libqcow_file_t* file = nullptr;
    bool open = false;
    QcowFile() = default;
    QcowFile(const QcowFile&) = delete;
    QcowFile& operator=(const QcowFile&) = delete;
    ~QcowFile()
    {
        if (open)
            (void)libqcow_file_close(file, nullptr);
        if (file != nullptr)
            (void)libqcow_file_free(&file, nullptr);
    }
};

/// The backing file a disk names, as it names it; empty when it has none.
std::string backingName(libqcow_file_t* file)
{
    std::size_t size = 0;
    if (libqcow_file_get_utf8_backing_filename_size(file, &size, nullptr) != 1 || size <= 1)
        return {};
    std::string name(size, '\0');
    if (libqcow_file_get_utf8_backing_filename(file, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) != 1)
        return {};
    name.resize(name.find('\0'));
    return name;
}

class QcowImage final : public LibraryImage {
public:
    QcowImage() : LibraryImage(Format::Qcow) {}
    ~QcowImage() override
    {
        // A disk before its backing file; the files before what they read through.
        while (!m_probe.empty())
            m_probe.erase(m_probe.begin());
        while (!m_chain.empty())
            m_chain.erase(m_chain.begin());
    }
    QcowImage(const QcowImage&) = delete;
    QcowImage& operator=(const QcowImage&) = delete;

    /// Opens `path` and its backing files; the reason in `error` when one
    /// cannot be opened, is not found or is encrypted.
    bool open(const std::string& path, std::string& error)
    {
        std::string at = path;
        for (int depth = 0; depth <= kMaxParents; ++depth) {
            addFile(at);
            // The library opens the file as it is: a pipe would block it.
            if (std::string kind = unreadableKind(at); !kind.empty()) {
                error = (depth == 0 ? std::string{} : "its backing file ") + kind;
                return false;
            }
            auto file = std::make_unique<QcowFile>();
            Error e;
            if (libqcow_file_initialize(&file->file, e.out()) != 1 ||
                libqcow_file_open(file->file, at.c_str(), LIBQCOW_OPEN_READ, e.out()) != 1) {
                error = (depth == 0 ? std::string{} : "its backing file " + at + ": ") + e.text();
                return false;
            }
            file->open = true;
            std::uint32_t encryption = LIBQCOW_ENCRYPTION_METHOD_NONE;
            (void)libqcow_file_get_encryption_method(file->file, &encryption, nullptr);
            if (encryption != LIBQCOW_ENCRYPTION_METHOD_NONE) {
                error = baseName(at) + " is encrypted, which this program does not read";
                return false;
            }
            if (!m_chain.empty() && libqcow_file_set_parent_file(m_chain.back()->file, file->file, e.out()) != 1) {
                error = "its backing file " + at + " does not fit it: " + e.text();
                return false;
            }
            m_chain.push_back(std::move(file));
            m_paths.push_back(at);
            const std::string name = backingName(m_chain.back()->file);
            if (name.empty()) {
                openProbes();
                return describeChain();
            }
            const std::string parent = findParent(at, name);
            if (parent.empty()) {
                error = "a disk whose backing file " + name + " is not found beside " + baseName(at);
                return false;
            }
            at = parent;
        }
        error = "its chain of backing files is longer than " + std::to_string(kMaxParents);
        return false;
    }

protected:
    std::int64_t readSome(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        return libqcow_file_read_buffer_at_offset(m_chain.front()->file, into, length, static_cast<off64_t>(offset),
                                                  nullptr);
    }

    bool probeNothingHeld(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        const std::uint64_t before = *m_probeBytes;
        return libqcow_file_read_buffer_at_offset(m_probe.front()->file, into, length, static_cast<off64_t>(offset),
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
            auto file = std::make_unique<QcowFile>();
            if (io->handle == nullptr || libqcow_file_initialize(&file->file, nullptr) != 1 ||
                libqcow_file_open_file_io_handle(file->file, io->handle, LIBQCOW_OPEN_READ, nullptr) != 1)
                return;
            file->open = true;
            m_probeFiles.push_back(std::move(io));
            if (!m_probe.empty() && libqcow_file_set_parent_file(m_probe.back()->file, file->file, nullptr) != 1)
                return;
            m_probe.push_back(std::move(file));
        }
        enableProbes();
    }

    bool describeChain()
    {
        size64_t media = 0;
        if (libqcow_file_get_media_size(m_chain.front()->file, &media, nullptr) != 1)
            return false;
        setSize(media);
        std::uint32_t version = 0;
        (void)libqcow_file_get_format_version(m_chain.front()->file, &version, nullptr);
        // Version 3 is QCOW2 with more header fields, as QEMU names it.
        std::string text = version == 1 ? "QEMU disk (QCOW)" : "QEMU disk (QCOW2)";
        if (version > 2)
            text += ", version " + std::to_string(version);
        text += mediaText(media);
        for (std::size_t i = 1; i < m_chain.size(); ++i)
            text += "; backing file " + baseName(backingName(m_chain[i - 1]->file));
        describe(text);
        return true;
    }

    std::vector<std::unique_ptr<QcowFile>> m_chain; ///< the disk, then its backing files in turn
    std::vector<std::string> m_paths;               ///< their paths
    std::shared_ptr<std::uint64_t> m_probeBytes = std::make_shared<std::uint64_t>(0);
    std::vector<std::unique_ptr<BfioHandle>> m_probeFiles; ///< freed after the probe chain that reads them
    std::vector<std::unique_ptr<QcowFile>> m_probe;        ///< the chain again, over m_probeFiles
};

} // namespace

OpenedContainer openQcow(const std::string& path)
{
    OpenedContainer opened;
    auto image = std::make_shared<QcowImage>();
    const bool open = image->open(path, opened.error);
    opened.files = image->files();
    if (open)
        opened.source = std::move(image);
    return opened;
}

} // namespace sarvik::container::detail
