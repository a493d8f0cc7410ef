#include "cli/HashingOutput.h"

#include <openssl/evp.h>

#include <cstdio>
#include <new>

namespace sarvik::cli {

namespace {

class HashingOutputFile final : public recovery::OutputFile {
public:
    HashingOutputFile(std::unique_ptr<recovery::OutputFile> inner, std::shared_ptr<DigestSlot> slot)
        : m_inner(std::move(inner)), m_slot(std::move(slot)), m_context(EVP_MD_CTX_new())
    {
        if (m_context == nullptr || EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1)
            throw std::bad_alloc();
    }
    ~HashingOutputFile() override { EVP_MD_CTX_free(m_context); }
    HashingOutputFile(const HashingOutputFile&) = delete;
    HashingOutputFile& operator=(const HashingOutputFile&) = delete;

    [[nodiscard]] bool write(disk::ByteSpan bytes) override
    {
        if (!m_inner->write(bytes))
            return false;
        return EVP_DigestUpdate(m_context, bytes.data(), bytes.size()) == 1;
    }

    [[nodiscard]] bool close() override
    {
        const bool closed = m_inner->close();
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_context, digest, &length) == 1) {
            std::string hex;
            for (unsigned int i = 0; i < length; ++i) {
                char pair[3];
                std::snprintf(pair, sizeof pair, "%02x", digest[i]);
                hex += pair;
            }
            m_slot->lastDigest = std::move(hex);
        }
        return closed;
    }

    [[nodiscard]] std::string error() const override { return m_inner->error(); }

private:
    std::unique_ptr<recovery::OutputFile> m_inner;
    std::shared_ptr<DigestSlot> m_slot;
    EVP_MD_CTX* m_context;
};

} // namespace

HashingOutputFolder::HashingOutputFolder(std::shared_ptr<recovery::OutputFolder> inner,
                                         std::shared_ptr<DigestSlot> slot)
    : m_inner(std::move(inner)), m_slot(std::move(slot))
{
}

std::shared_ptr<recovery::OutputFolder> HashingOutputFolder::makeFolder(std::string_view name)
{
    auto folder = m_inner->makeFolder(name);
    if (!folder)
        return nullptr;
    return std::make_shared<HashingOutputFolder>(std::move(folder), m_slot);
}

std::unique_ptr<recovery::OutputFile> HashingOutputFolder::createFile(std::string_view name, bool replace)
{
    m_slot->lastDigest.reset();
    auto file = m_inner->createFile(name, replace);
    if (!file)
        return nullptr;
    return std::make_unique<HashingOutputFile>(std::move(file), m_slot);
}

} // namespace sarvik::cli
