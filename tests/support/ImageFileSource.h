// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A disk image file read through the standard library, for core tests on
// volumes made by real tools (the core tests do not link the platform layer).
// Reads are serialised: one test thread at a time.

#include "disk/BlockSource.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

namespace sarvik::test {

class ImageFileSource final : public disk::BlockSource {
public:
    /// The image opened for reading, or nothing when it cannot be opened.
    static std::shared_ptr<ImageFileSource> open(const std::filesystem::path& file);

    [[nodiscard]] std::uint64_t size() const override { return m_size; }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override;

private:
    ImageFileSource(std::ifstream in, std::uint64_t size) : m_in(std::move(in)), m_size(size) {}
    mutable std::ifstream m_in;
    mutable std::mutex m_lock;
    std::uint64_t m_size;
};

} // namespace sarvik::test
