// VMware disks through libvmdk: monolithic and split, sparse and flat; a
// descriptor names its extent files, which must lie beside it; a child disk
// reads through its parent.

#include "container/CountingFile.h"
#include "container/LibraryImage.h"

#include <libvmdk.h>

#include <vector>

namespace sarvik::container::detail {

namespace {

using Error = LibError<libvmdk_error_free, libvmdk_error_backtrace_sprint>;

/// One open VMDK disk (descriptor and extents); closed and freed when it goes.
struct VmdkHandle {
    libvmdk_handle_t* handle = nullptr;
    bool open = false;
    VmdkHandle() = default;
    VmdkHandle(const VmdkHandle&) = delete;
    VmdkHandle& operator=(const VmdkHandle&) = delete;
    ~VmdkHandle()
    {
        if (open)
            (void)libvmdk_handle_close(handle, nullptr);
        if (handle != nullptr)
            (void)libvmdk_handle_free(&handle, nullptr);
    }
};

/// A libbfio pool of a disk's extent files; freed, with the files, when it goes.
struct BfioPool {
    libbfio_pool_t* pool = nullptr;
    BfioPool() = default;
    BfioPool(const BfioPool&) = delete;
    BfioPool& operator=(const BfioPool&) = delete;
    ~BfioPool()
    {
        if (pool != nullptr)
            (void)libbfio_pool_free(&pool, nullptr);
    }
};

/// A disk opened over extent files of ours: the library closes the disk
/// before the pool that it reads through goes (members go in reverse order).
struct PooledVmdk {
    BfioPool extents;
    VmdkHandle disk;
};

/// The name extent `index` of `handle` gives its file, as the descriptor
/// gives it; empty for an extent without a file (a zero extent) or when the
/// library cannot say.
std::string extentName(libvmdk_handle_t* handle, int index)
{
    libvmdk_extent_descriptor_t* extent = nullptr;
    if (libvmdk_handle_get_extent_descriptor(handle, index, &extent, nullptr) != 1)
        return {};
    std::string name;
    int type = 0;
    std::size_t size = 0;
    if (libvmdk_extent_descriptor_get_type(extent, &type, nullptr) == 1 && type != LIBVMDK_EXTENT_TYPE_ZERO &&
        libvmdk_extent_descriptor_get_utf8_filename_size(extent, &size, nullptr) == 1 && size > 1) {
        name.assign(size, '\0');
        if (libvmdk_extent_descriptor_get_utf8_filename(extent, reinterpret_cast<std::uint8_t*>(name.data()), size,
                                                        nullptr) == 1)
            name.resize(name.find('\0'));
        else
            name.clear();
    }
    (void)libvmdk_extent_descriptor_free(&extent, nullptr);
    return name;
}

/// The parent a child disk names, as it names it; empty when it names none.
std::string parentName(libvmdk_handle_t* handle)
{
    std::size_t size = 0;
    if (libvmdk_handle_get_utf8_parent_filename_size(handle, &size, nullptr) != 1 || size <= 1)
        return {};
    std::string name(size, '\0');
    if (libvmdk_handle_get_utf8_parent_filename(handle, reinterpret_cast<std::uint8_t*>(name.data()), size, nullptr) !=
        1)
        return {};
    name.resize(name.find('\0'));
    return name;
}

class VmdkImage final : public LibraryImage {
public:
    VmdkImage() : LibraryImage(Format::Vmdk) {}
    ~VmdkImage() override
    {
        // A child before its parent: it reads through it to the last.
        while (!m_probe.empty())
            m_probe.erase(m_probe.begin());
        while (!m_chain.empty())
            m_chain.erase(m_chain.begin());
    }
    VmdkImage(const VmdkImage&) = delete;
    VmdkImage& operator=(const VmdkImage&) = delete;

    /// Opens the disk `path` names, its extents and its parents; the reason in
    /// `error` when one cannot be opened or is not found.
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
            auto disk = std::make_unique<VmdkHandle>();
            Error e;
            if (libvmdk_handle_initialize(&disk->handle, e.out()) != 1 ||
                libvmdk_handle_open(disk->handle, at.c_str(), LIBVMDK_OPEN_READ, e.out()) != 1) {
                error = (depth == 0 ? std::string{} : "its parent disk " + at + ": ") + e.text();
                return false;
            }
            disk->open = true;
            if (!checkExtents(disk->handle, at, error))
                return false;
            if (libvmdk_handle_open_extent_data_files(disk->handle, e.out()) != 1) {
                error = "the extent files of " + baseName(at) + " cannot be opened: " + e.text();
                return false;
            }
            if (!m_chain.empty() &&
                libvmdk_handle_set_parent_handle(m_chain.back()->handle, disk->handle, e.out()) != 1) {
                error = "its parent disk " + at + " does not fit it: " + e.text();
                return false;
            }
            m_chain.push_back(std::move(disk));
            m_paths.push_back(at);
            const std::string name = parentName(m_chain.back()->handle);
            if (name.empty()) {
                openProbes();
                return describeChain();
            }
            const std::string parent = findParent(at, name);
            if (parent.empty()) {
                error = "a child disk whose parent disk " + name + " is not found beside " + baseName(at);
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
        return libvmdk_handle_read_buffer_at_offset(m_chain.front()->handle, into, length, static_cast<off64_t>(offset),
                                                    nullptr);
    }

    bool probeNothingHeld(std::uint64_t offset, std::byte* into, std::size_t length) const override
    {
        const std::uint64_t before = *m_probeBytes;
        return libvmdk_handle_read_buffer_at_offset(m_probe.front()->disk.handle, into, length,
                                                    static_cast<off64_t>(offset),
                                                    nullptr) == static_cast<ssize_t>(length) &&
               *m_probeBytes == before && allZero(into, length);
    }

private:
    /// Refuses, before the library opens them, extent files of the disk
    /// `path` that reading could block on (a pipe); notes the others as files
    /// the disk is read from.
    bool checkExtents(libvmdk_handle_t* handle, const std::string& path, std::string& error)
    {
        int extents = 0;
        if (libvmdk_handle_get_number_of_extents(handle, &extents, nullptr) != 1)
            return true; // the library's own open says what is wrong
        for (int i = 0; i < extents; ++i)
            for (const std::string& file : placesOf(path, extentName(handle, i))) {
                if (std::string kind = unreadableKind(file); !kind.empty()) {
                    error = "its extent file " + kind;
                    return false;
                }
                addFile(file);
            }
        return true;
    }

    /// The same chain again, its extents read through files that count what
    /// they read: the probe of which grains the disk holds. Without it, no
    /// region is known as empty.
    void openProbes()
    {
        for (const std::string& path : m_paths) {
            auto probe = std::make_unique<PooledVmdk>();
            int extents = 0;
            if (libvmdk_handle_initialize(&probe->disk.handle, nullptr) != 1 ||
                libvmdk_handle_open(probe->disk.handle, path.c_str(), LIBVMDK_OPEN_READ, nullptr) != 1)
                return;
            probe->disk.open = true;
            if (libvmdk_handle_get_number_of_extents(probe->disk.handle, &extents, nullptr) != 1 ||
                libbfio_pool_initialize(&probe->extents.pool, extents, LIBBFIO_POOL_UNLIMITED_NUMBER_OF_OPEN_HANDLES,
                                        nullptr) != 1)
                return;
            // The pool's entries are the extents in the descriptor's order;
            // a zero extent has no file and keeps an empty entry.
            for (int i = 0; i < extents; ++i) {
                const std::string name = extentName(probe->disk.handle, i);
                if (name.empty())
                    continue;
                const std::string file = findParent(path, name);
                BfioHandle io(file.empty() ? nullptr : countingFile(file, m_probeBytes));
                if (io.handle == nullptr ||
                    libbfio_pool_set_handle(probe->extents.pool, i, io.handle, LIBBFIO_OPEN_READ, nullptr) != 1)
                    return;
                io.handle = nullptr; // the pool frees it
            }
            if (libvmdk_handle_open_extent_data_files_file_io_pool(probe->disk.handle, probe->extents.pool, nullptr) !=
                1)
                return;
            if (!m_probe.empty() &&
                libvmdk_handle_set_parent_handle(m_probe.back()->disk.handle, probe->disk.handle, nullptr) != 1)
                return;
            m_probe.push_back(std::move(probe));
        }
        enableProbes();
    }

    bool describeChain()
    {
        libvmdk_handle_t* disk = m_chain.front()->handle;
        size64_t media = 0;
        if (libvmdk_handle_get_media_size(disk, &media, nullptr) != 1)
            return false;
        setSize(media);
        int extents = 0;
        (void)libvmdk_handle_get_number_of_extents(disk, &extents, nullptr);
        std::string text = formatName(Format::Vmdk);
        text += ", " + std::to_string(extents) + (extents == 1 ? " extent" : " extents");
        text += mediaText(media);
        for (std::size_t i = 1; i < m_chain.size(); ++i)
            text += "; parent " + baseName(parentName(m_chain[i - 1]->handle));
        describe(text);
        return true;
    }

    std::vector<std::unique_ptr<VmdkHandle>> m_chain; ///< the disk, then its parents in turn
    std::vector<std::string> m_paths;                 ///< their paths
    std::shared_ptr<std::uint64_t> m_probeBytes = std::make_shared<std::uint64_t>(0);
    std::vector<std::unique_ptr<PooledVmdk>> m_probe; ///< the chain again, over extent files that count
};

} // namespace

OpenedContainer openVmdk(const std::string& path)
{
    OpenedContainer opened;
    auto image = std::make_shared<VmdkImage>();
    const bool open = image->open(path, opened.error);
    opened.files = image->files();
    if (open)
        opened.source = std::move(image);
    return opened;
}

} // namespace sarvik::container::detail
