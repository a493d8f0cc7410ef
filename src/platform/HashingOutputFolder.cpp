#include "platform/HashingOutputFolder.h"

#include "platform/Sha256.h"

#include <algorithm>
#include <array>

namespace sarvik::platform {

namespace {

/// Zeros hashed at a time for a hole.
constexpr std::size_t kZeroBlock = 64 * 1024;
constexpr std::array<std::byte, kZeroBlock> kZeros{};

class HashingOutputFile final : public recovery::OutputFile {
public:
    explicit HashingOutputFile(std::unique_ptr<recovery::OutputFile> inner) : m_inner(std::move(inner)) {}

    [[nodiscard]] bool write(disk::ByteSpan bytes) override
    {
        if (!m_inner->write(bytes))
            return false;
        return m_context.update(bytes);
    }

    /// The hole goes to the destination as it is; the digest is of the file's
    /// bytes, so its zeros are hashed.
    [[nodiscard]] bool writeHole(std::uint64_t count) override
    {
        if (!m_inner->writeHole(count))
            return false;
        while (count > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kZeroBlock));
            if (!m_context.update(disk::ByteSpan(kZeros.data(), n)))
                return false;
            count -= n;
        }
        return true;
    }

    [[nodiscard]] bool close() override
    {
        const bool closed = m_inner->close();
        if (std::string hex = m_context.hexDigest(); !hex.empty())
            m_digest = std::move(hex);
        return closed;
    }

    [[nodiscard]] std::string error() const override { return m_inner->error(); }
    [[nodiscard]] std::optional<std::uint64_t> length() const override { return m_inner->length(); }
    [[nodiscard]] std::optional<std::string> sha256() const override { return m_digest; }

private:
    std::unique_ptr<recovery::OutputFile> m_inner;
    Sha256 m_context;
    std::optional<std::string> m_digest;
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
