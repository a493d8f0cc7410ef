// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A virtual disk that may read through a chain of parents: a differencing VHD
// or VHDX, a child VMDK, a QCOW disk over its backing files. The chain is
// opened from the disk asked for down to the last parent, each disk handed its
// parent as it is found beside its child, and then opened a second time over
// files that count what they read: the probe of which regions the disk holds.
// The adapters say how their library opens, links and reads one disk.

#include "container/LibraryImage.h"

#include <memory>
#include <string>
#include <vector>

namespace sarvik::container::detail {

/// How a chain's messages name its disks.
struct ChainWords {
    const char* parent;   ///< "backing file", "parent disk": a disk a disk reads through
    const char* listed;   ///< "backing file", "parent": as the description lists one
    const char* child;    ///< "a disk", "a child disk": what names a parent not found
    const char* mismatch; ///< "does not fit it": a parent the library refuses for its child
};

/// The media size of `handle` through the library's call `get` (which gives
/// it as the library's own 64-bit type); false when the library cannot say.
template <class Handle, class Size, class Error>
bool mediaSizeOf(int (*get)(Handle*, Size*, Error**), Handle* handle, std::uint64_t& size)
{
    Size media = 0;
    if (get(handle, &media, nullptr) != 1)
        return false;
    size = media;
    return true;
}

/// `Disk` owns one open disk of the library, as its member `lib` (a
/// LibObject), and what it is read through. `Calls` names the library's
/// calls on such a disk: its `Error` (a LibError), `kSetParent`, `kRead`
/// (at an offset), `kMediaSize`, and `kParentNameSize` and `kParentName`,
/// the UTF-8 name of the parent it names.
template <class Disk, class Calls> class ChainImage : public LibraryImage {
public:
    ~ChainImage() override
    {
        // A child before its parent: it reads through it to the last; the
        // probe chain before the one it repeats.
        while (!m_probe.empty())
            m_probe.erase(m_probe.begin());
        while (!m_chain.empty())
            m_chain.erase(m_chain.begin());
    }
    ChainImage(const ChainImage&) = delete;
    ChainImage& operator=(const ChainImage&) = delete;

    /// Opens `path` and the parents it reads through; the reason in `error`
    /// when one cannot be opened, is refused or is not found.
    bool open(const std::string& path, std::string& error)
    {
        std::string at = path;
        for (int depth = 0; depth <= kMaxParents; ++depth) {
            addFile(at);
            // The library opens the file as it is: a pipe would block it.
            if (std::string kind = unreadableKind(at); !kind.empty()) {
                error = (depth == 0 ? std::string{} : its(m_words.parent)) + kind;
                return false;
            }
            std::string reason;
            std::unique_ptr<Disk> disk = openDisk(at, nullptr, reason);
            if (!disk) {
                error = depth == 0 ? reason : about(at, ": " + reason);
                return false;
            }
            if (!admit(*disk, at, error))
                return false;
            if (!m_chain.empty() && !setParent(*m_chain.back(), *disk, reason)) {
                error = about(at, std::string(" ") + m_words.mismatch + ": " + reason);
                return false;
            }
            m_chain.push_back(std::move(disk));
            m_paths.push_back(at);
            if (!hasParent(*m_chain.back())) {
                openProbes();
                return describeChain();
            }
            const std::string name = parentName(*m_chain.back());
            const std::string parent = findParent(at, name);
            if (parent.empty()) {
                error = std::string(m_words.child) + " whose " + m_words.parent + " " + shownName(name) +
                        " is not found beside " + baseName(at);
                return false;
            }
            at = parent;
        }
        error = std::string("its chain of ") + m_words.parent + "s is longer than " + std::to_string(kMaxParents);
        return false;
    }

protected:
    ChainImage(Format format, ChainWords words) : LibraryImage(format), m_words(words) {}

    /// Opens the disk `path` through its library, its files read through
    /// files that add what they read to `*counter` when `counter` is set;
    /// null, and the library's reason in `reason`, when it cannot.
    virtual std::unique_ptr<Disk> openDisk(const std::string& path, const std::shared_ptr<std::uint64_t>& counter,
                                           std::string& reason) const = 0;
    /// Checks a disk of the chain just opened before it is linked; false, and
    /// why in `error`, when it may not be read. Accepts it by default.
    virtual bool admit(Disk& /*disk*/, const std::string& /*path*/, std::string& /*error*/) { return true; }
    /// True when `disk` reads through a parent. By default, when it names one.
    virtual bool hasParent(const Disk& disk) const { return !parentName(disk).empty(); }
    /// A parent's name as a message shows it. By default, as the disk names it.
    virtual std::string shownName(const std::string& name) const { return name; }
    /// What `disk`, the first of the chain, is: "QEMU disk (QCOW2)", "Hyper-V disk (VHDX), dynamic".
    virtual std::string kindText(const Disk& disk) const = 0;

    /// The parent `disk` names, as it names it; empty when it names none.
    static std::string parentName(const Disk& disk)
    {
        auto* handle = disk.lib.handle;
        return libraryText(
            [handle](std::size_t* size) { return Calls::kParentNameSize(handle, size, nullptr); },
            [handle](std::uint8_t* text, std::size_t size) { return Calls::kParentName(handle, text, size, nullptr); });
    }

    std::int64_t readSome(std::uint64_t offset, std::byte* into, std::size_t length) const final
    {
        return readDisk(*m_chain.front(), offset, into, length);
    }

    bool probeNothingHeld(std::uint64_t offset, std::byte* into, std::size_t length) const final
    {
        const std::uint64_t before = *m_probeBytes;
        return readDisk(*m_probe.front(), offset, into, length) == static_cast<std::int64_t>(length) &&
               *m_probeBytes == before && allZero(into, length);
    }

private:
    /// "its parent disk ".
    static std::string its(const char* what) { return std::string("its ") + what + " "; }
    /// "its parent disk PATH" and `what` it is.
    [[nodiscard]] std::string about(const std::string& path, const std::string& what) const
    {
        return its(m_words.parent) + path + what;
    }

    /// Hands `child` its `parent`; false, and the library's reason, when it refuses.
    static bool setParent(Disk& child, Disk& parent, std::string& reason)
    {
        typename Calls::Error e;
        if (Calls::kSetParent(child.lib.handle, parent.lib.handle, e.out()) == 1)
            return true;
        reason = e.text();
        return false;
    }

    /// Reads at most `length` bytes of `disk`'s media at `offset`: the count
    /// read, 0 or less when the library fails.
    static std::int64_t readDisk(const Disk& disk, std::uint64_t offset, std::byte* into, std::size_t length)
    {
        return Calls::kRead(disk.lib.handle, into, length, static_cast<std::int64_t>(offset), nullptr);
    }

    /// The same chain again, through files that count what they read: the
    /// probe of what the disk holds. Without it, no region is known as empty.
    void openProbes()
    {
        std::string reason;
        for (const std::string& path : m_paths) {
            std::unique_ptr<Disk> disk = openDisk(path, m_probeBytes, reason);
            if (!disk || (!m_probe.empty() && !setParent(*m_probe.back(), *disk, reason)))
                return;
            m_probe.push_back(std::move(disk));
        }
        enableProbes();
    }

    bool describeChain()
    {
        std::uint64_t media = 0;
        if (!mediaSizeOf(Calls::kMediaSize, m_chain.front()->lib.handle, media))
            return false;
        setSize(media);
        std::string text = kindText(*m_chain.front()) + mediaText(media);
        for (std::size_t i = 1; i < m_chain.size(); ++i)
            text += std::string("; ") + m_words.listed + " " + baseName(parentName(*m_chain[i - 1]));
        describe(text);
        return true;
    }

    ChainWords m_words;
    std::vector<std::unique_ptr<Disk>> m_chain; ///< the disk, then its parents in turn
    std::vector<std::string> m_paths;           ///< their paths
    std::shared_ptr<std::uint64_t> m_probeBytes = std::make_shared<std::uint64_t>(0);
    std::vector<std::unique_ptr<Disk>> m_probe; ///< the chain again, over files that count
};

} // namespace sarvik::container::detail
