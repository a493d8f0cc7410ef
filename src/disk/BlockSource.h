// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bottom of the stack: something that holds the bytes of a volume. A block
// device, an image file, a window into one of them (a partition), or bytes in
// memory for tests. Sources are read-only by construction: there is no write.

#include "disk/ByteReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sarvik::disk {

/// Outcome of one read.
enum class ReadStatus {
    Ok,       ///< every byte asked for was read
    Short,    ///< the request reaches past the end of the source; nothing was read
    Failed,   ///< the source reported an error; the buffer's contents are unspecified
    NoDevice, ///< no device is open (the selected volume could not be opened); nothing was read
};

class BlockSource {
public:
    virtual ~BlockSource() = default;
    /// Size of the source in bytes.
    [[nodiscard]] virtual std::uint64_t size() const = 0;
    /// Reads buffer.size() bytes at `offset`. A request that reaches past the end
    /// reads nothing and leaves the buffer as it was.
    [[nodiscard]] virtual ReadStatus read(std::uint64_t offset, MutableByteSpan buffer) const = 0;
    /// How many bytes from `offset` on the source knows to read as zeros without
    /// reading them (a hole of a sparse image file); 0 when it knows of none there.
    [[nodiscard]] virtual std::uint64_t knownZeros(std::uint64_t /*offset*/) const { return 0; }
    /// True when two threads may read at once, their reads overlapping (a file
    /// read with pread); false when reads must take turns (see SerialBlockSource).
    [[nodiscard]] virtual bool readsInParallel() const { return false; }
};

/// Bytes in memory; used by tests and by fuzzing.
class MemoryBlockSource final : public BlockSource {
public:
    explicit MemoryBlockSource(std::vector<std::byte> bytes) : m_bytes(std::move(bytes)) {}
    [[nodiscard]] std::uint64_t size() const override { return m_bytes.size(); }
    [[nodiscard]] ReadStatus read(std::uint64_t offset, MutableByteSpan buffer) const override;
    /// Reads only copy bytes out: no read changes the source.
    [[nodiscard]] bool readsInParallel() const override { return true; }
    /// The bytes, for tests that build a volume in place.
    std::vector<std::byte>& bytes() { return m_bytes; }

    /// Offsets at which every read fails (to imitate bad sectors): any read that
    /// overlaps one of these byte ranges reports Failed.
    void addBadRange(std::uint64_t offset, std::uint64_t length) { m_bad.push_back({offset, length}); }

private:
    struct Range {
        std::uint64_t offset;
        std::uint64_t length;
    };
    std::vector<std::byte> m_bytes;
    std::vector<Range> m_bad;
};

/// A window of another source, starting `offset` bytes into it (a partition).
class OffsetBlockSource final : public BlockSource {
public:
    OffsetBlockSource(std::shared_ptr<const BlockSource> base, std::uint64_t offset, std::uint64_t length);
    [[nodiscard]] std::uint64_t size() const override { return m_length; }
    [[nodiscard]] ReadStatus read(std::uint64_t offset, MutableByteSpan buffer) const override;
    [[nodiscard]] std::uint64_t knownZeros(std::uint64_t offset) const override;
    [[nodiscard]] bool readsInParallel() const override { return m_base && m_base->readsInParallel(); }

private:
    std::shared_ptr<const BlockSource> m_base;
    std::uint64_t m_offset;
    std::uint64_t m_length;
};

} // namespace sarvik::disk
