// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HashingOutputFolder.h"

#include "platform/Sha256.h"

#include <algorithm>
#include <array>
#include <optional>

namespace sarvik::platform {

namespace {

/// Zeros hashed at a time for a hole.
constexpr std::size_t kZeroBlock = 64 * 1024;
constexpr std::array<std::byte, kZeroBlock> kZeros{};

class HashingOutputFile final : public recovery::OutputFile {
public:
    explicit HashingOutputFile(std::unique_ptr<recovery::OutputFile> inner) : m_inner(std::move(inner)) {}

    /// A write that fails may leave part of its bytes in the file: the
    /// digest takes those the file's length says it holds, so that it is
    /// always of what the file holds. Where that length is not known, the
    /// file has no digest.
    [[nodiscard]] bool write(disk::ByteSpan bytes) override
    {
        const std::optional<std::uint64_t> before = m_inner->length();
        if (m_inner->write(bytes))
            return hash(bytes);
        if (const auto held = heldSince(before, bytes.size()))
            (void)hash(bytes.first(static_cast<std::size_t>(*held)));
        else
            m_unknown = true;
        return false;
    }

    /// The hole goes to the destination as it is; the digest is of the file's
    /// bytes, so its zeros are hashed.
    [[nodiscard]] bool writeHole(std::uint64_t count) override
    {
        const std::optional<std::uint64_t> before = m_inner->length();
        const bool written = m_inner->writeHole(count);
        std::optional<std::uint64_t> zeros = count;
        if (!written)
            zeros = heldSince(before, count);
        if (!zeros) {
            m_unknown = true;
            return false;
        }
        for (std::uint64_t left = *zeros; left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kZeroBlock));
            if (!hash(disk::ByteSpan(kZeros.data(), n)))
                return false;
            left -= n;
        }
        return written;
    }

    [[nodiscard]] bool close() override
    {
        const bool closed = m_inner->close();
        if (std::string hex = m_context.hexDigest(); !hex.empty() && !m_unknown)
            m_digest = std::move(hex);
        return closed;
    }

    [[nodiscard]] std::string error() const override { return m_inner->error(); }
    [[nodiscard]] std::optional<std::uint64_t> length() const override { return m_inner->length(); }
    [[nodiscard]] std::optional<std::string> sha256() const override { return m_digest; }

private:
    bool hash(disk::ByteSpan bytes)
    {
        if (m_context.update(bytes))
            return true;
        m_unknown = true;
        return false;
    }

    /// How many of the `asked` bytes a failed write left in the file: its
    /// length now less `before`; nothing when either is unknown or the length
    /// moved otherwise.
    [[nodiscard]] std::optional<std::uint64_t> heldSince(std::optional<std::uint64_t> before, std::uint64_t asked) const
    {
        const std::optional<std::uint64_t> after = m_inner->length();
        if (!before || !after || *after < *before || *after - *before > asked)
            return std::nullopt;
        return *after - *before;
    }

    std::unique_ptr<recovery::OutputFile> m_inner;
    Sha256 m_context;
    std::optional<std::string> m_digest;
    bool m_unknown = false; ///< bytes went into the file that the digest does not know
};

} // namespace

HashingOutputFolder::HashingOutputFolder(std::shared_ptr<recovery::OutputFolder> inner) : m_inner(std::move(inner)) {}

std::shared_ptr<recovery::OutputFolder> HashingOutputFolder::makeFolder(std::string_view name)
{
    auto folder = m_inner->makeFolder(name);
    if (!folder)
        return nullptr;
    return std::make_shared<HashingOutputFolder>(std::move(folder));
}

std::unique_ptr<recovery::OutputFile> HashingOutputFolder::createFile(std::string_view name, bool replace)
{
    auto file = m_inner->createFile(name, replace);
    if (!file)
        return nullptr;
    return std::make_unique<HashingOutputFile>(std::move(file));
}

} // namespace sarvik::platform
