#pragma once
// What the library adapters share: a libyal error turned into a sentence, a
// media read of the whole buffer under one lock, and the path of a parent disk
// found beside its child. Only the adapters include this.

#include "container/ContainerSource.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
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

OpenedContainer openEwf(const std::string& path, Format format);
OpenedContainer openVhdi(const std::string& path, Format format);
OpenedContainer openVmdk(const std::string& path);
OpenedContainer openQcow(const std::string& path);
OpenedContainer openSmraw(const std::string& path);

} // namespace sarvik::container::detail
