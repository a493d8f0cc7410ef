// VMware disks through libvmdk: monolithic and split, sparse and flat; a
// descriptor names its extent files, which must lie beside it; a child disk
// reads through its parent.

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
        while (!m_chain.empty()) // a child before its parent
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
            auto disk = std::make_unique<VmdkHandle>();
            Error e;
            if (libvmdk_handle_initialize(&disk->handle, e.out()) != 1 ||
                libvmdk_handle_open(disk->handle, at.c_str(), LIBVMDK_OPEN_READ, e.out()) != 1) {
                error = (depth == 0 ? std::string{} : "its parent disk " + at + ": ") + e.text();
                return false;
            }
            disk->open = true;
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
            const std::string name = parentName(m_chain.back()->handle);
            if (name.empty())
                return describeChain();
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

private:
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
};

} // namespace

OpenedContainer openVmdk(const std::string& path)
{
    OpenedContainer opened;
    auto image = std::make_shared<VmdkImage>();
    if (image->open(path, opened.error))
        opened.source = std::move(image);
    return opened;
}

} // namespace sarvik::container::detail
