// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the library adapters share: a libyal error turned into a sentence, the
// library objects they own, a media read of the whole buffer under one lock,
// and the path of a parent disk found beside its child. Only the adapters
// include this.

#include "container/ContainerSource.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

namespace sarvik::container::detail {

/// The libyal error a call fills in, freed when it goes. The libraries all
/// hold an error as an intptr_t behind their own typedef.
template <void (*Free)(std::intptr_t**), int (*Sprint)(std::intptr_t*, char*, std::size_t)> class LibError {
public:
    LibError() = default;
    ~LibError() { reset(); }
    LibError(const LibError&) = delete;
    LibError& operator=(const LibError&) = delete;
    /// The slot a library call writes to; any earlier error is dropped.
    std::intptr_t** out()
    {
        reset();
        return &m_error;
    }
    /// The library's own words: the innermost cause and the step it broke,
    /// without the library's function names ("unsupported signature; unable
    /// to read file footer"). `Sprint` is the library's backtrace printer.
    [[nodiscard]] std::string text() const
    {
        if (m_error == nullptr)
            return "unknown reason";
        std::string trace(4096, '\0');
        if (Sprint(m_error, trace.data(), trace.size()) < 0)
            return "unknown reason";
        trace.resize(trace.find('\0'));
        std::string message;
        std::size_t at = 0;
        for (int line = 0; line < 2 && at < trace.size(); ++line) {
            const std::size_t end = std::min(trace.find('\n', at), trace.size());
            std::string text = trace.substr(at, end - at);
            if (const auto colon = text.find(": "); colon != std::string::npos)
                text.erase(0, colon + 2);
            while (!text.empty() && (text.back() == '.' || text.back() == '\r'))
                text.pop_back();
            if (!text.empty())
                message += (message.empty() ? "" : "; ") + text;
            at = end + 1;
        }
        return message.empty() ? std::string("unknown reason") : message;
    }

private:
    void reset()
    {
        if (m_error != nullptr)
            Free(&m_error);
        m_error = nullptr;
    }
    std::intptr_t* m_error = nullptr;
};

/// A libyal object (a handle, a file, a pool) owned here: closed if it was
/// opened, then freed, when it goes. `Close` is nullptr for an object that is
/// only freed.
template <class T, auto Close, auto Free> struct LibObject {
    T* handle = nullptr;
    bool open = false;
    LibObject() = default;
    LibObject(const LibObject&) = delete;
    LibObject& operator=(const LibObject&) = delete;
    ~LibObject()
    {
        if constexpr (!std::is_null_pointer_v<decltype(Close)>)
            if (open)
                (void)Close(handle, nullptr);
        if (handle != nullptr)
            (void)Free(&handle, nullptr);
    }
};

/// The file names a libyal glob finds from the first of a set (segments,
/// pieces); freed by the library's `Free` when it goes.
template <auto Free> struct GlobNames {
    char** names = nullptr;
    int count = 0;
    GlobNames() = default;
    GlobNames(const GlobNames&) = delete;
    GlobNames& operator=(const GlobNames&) = delete;
    ~GlobNames()
    {
        if (names != nullptr)
            (void)Free(names, count, nullptr);
    }
    [[nodiscard]] std::string operator[](int i) const { return names[i]; } // NOLINT: the library's array
};

/// A UTF-8 string a library hands out in two calls: its size (with the
/// closing NUL), then its bytes. Empty when there is none or the library
/// cannot say.
template <class SizeCall, class TextCall> std::string libraryText(SizeCall sizeOf, TextCall textOf)
{
    std::size_t size = 0;
    if (sizeOf(&size) != 1 || size <= 1)
        return {};
    std::string text(size, '\0');
    if (textOf(reinterpret_cast<std::uint8_t*>(text.data()), size) != 1)
        return {};
    text.resize(text.find('\0'));
    return text;
}

/// A container read through a library handle: bounds are checked here, reads
/// take turns under one lock, and a read the library fails or cuts short is
/// an unreadable stretch, never data.
class LibraryImage : public ContainerSource {
public:
    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override;
    /// The regions the container does not hold, found granule by granule
    /// through probeNothingHeld (each granule probed once); 0 where the
    /// adapter cannot tell.
    [[nodiscard]] std::uint64_t knownZeros(std::uint64_t offset) const override;

    /// Bytes the container's holdings are probed in.
    static constexpr std::size_t kGranule = 64 * 1024;

protected:
    using ContainerSource::ContainerSource;
    void setSize(std::uint64_t size) { m_size = size; }
    /// Reads at most `length` bytes of the media at `offset` into `into`: the
    /// count read, 0 or less when the library fails. Called under the lock.
    virtual std::int64_t readSome(std::uint64_t offset, std::byte* into, std::size_t length) const = 0;
    /// True when the container stores nothing for the `length` bytes at
    /// `offset` (they read as zeros and reading them read nothing from its
    /// files); `into` is scratch room of that length. False where it cannot
    /// tell. Called under the lock.
    virtual bool probeNothingHeld(std::uint64_t /*offset*/, std::byte* /*into*/, std::size_t /*length*/) const
    {
        return false;
    }
    /// Called once the adapter can answer probeNothingHeld.
    void enableProbes() { m_probes = true; }
    /// Notes the `count` files of a set (`kind`: "segment", "piece") as files
    /// the container is read from, and refuses the set, the reason in
    /// `error`, when one of them is a file a library's read could block on.
    template <auto Free> bool addParts(const GlobNames<Free>& parts, const char* kind, std::string& error)
    {
        for (int i = 0; i < parts.count; ++i)
            addFile(parts[i]);
        for (int i = 0; i < parts.count; ++i)
            if (std::string why = unreadableKind(parts[i]); !why.empty()) {
                error = std::string("its ") + kind + " " + why;
                return false;
            }
        return true;
    }

private:
    std::uint64_t m_size = 0;
    bool m_probes = false;
    mutable std::mutex m_mutex;
    mutable std::vector<std::uint8_t> m_granules; ///< per granule: 0 not probed, 1 nothing held, 2 held
    mutable std::vector<std::byte> m_scratch;
};

/// True when every byte of `bytes` is zero.
[[nodiscard]] bool allZero(const std::byte* bytes, std::size_t count);

/// The file a child disk names as its parent (`name`, as the child recorded
/// it: absolute, relative, or a Windows path): that path when it exists,
/// otherwise the file of the same name beside the child. Empty when neither
/// exists. The first of placesOf.
[[nodiscard]] std::string findParent(const std::string& childPath, const std::string& name);

/// Every existing file that `name`, recorded in the child `childPath`, may
/// stand for: the path as recorded (relative to the child's folder), then the
/// file of its last component beside the child. Files of any kind: a caller
/// refuses a pipe (unreadableKind) rather than look past it.
[[nodiscard]] std::vector<std::string> placesOf(const std::string& childPath, const std::string& name);

/// The last component of `name`, a POSIX or Windows path.
[[nodiscard]] std::string baseName(const std::string& name);

/// "; media 64 GiB".
[[nodiscard]] std::string mediaText(std::uint64_t bytes);

/// Lower-case hex of `bytes`.
[[nodiscard]] std::string hexText(const std::uint8_t* bytes, std::size_t count);

/// Most parents followed from one child: a longer chain is taken for a loop.
constexpr int kMaxParents = 32;

/// Opens `path` as an `Image` made of `args`: its source when it opens, and
/// the files it is read from either way.
template <class Image, class... Args> OpenedContainer openImage(const std::string& path, Args... args)
{
    OpenedContainer opened;
    auto image = std::make_shared<Image>(args...);
    const bool open = image->open(path, opened.error);
    opened.files = image->files();
    if (open)
        opened.source = std::move(image);
    return opened;
}

OpenedContainer openEwf(const std::string& path, Format format);
OpenedContainer openVhdi(const std::string& path, Format format);
OpenedContainer openVmdk(const std::string& path);
OpenedContainer openQcow(const std::string& path);
OpenedContainer openSmraw(const std::string& path);

} // namespace sarvik::container::detail
