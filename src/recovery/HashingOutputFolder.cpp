#include "recovery/HashingOutputFolder.h"

#include <openssl/evp.h>

#include <cstdio>
#include <new>

namespace sarvik::recovery {

namespace {

class HashingOutputFile final : public OutputFile {
public:
    explicit HashingOutputFile(std::unique_ptr<OutputFile> inner)
        : m_inner(std::move(inner)), m_context(EVP_MD_CTX_new())
    {
        if (m_context == nullptr || EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1) {
            EVP_MD_CTX_free(m_context);
            throw std::bad_alloc();
        }
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
            m_digest = std::move(hex);
        }
        return closed;
    }

    [[nodiscard]] std::string error() const override { return m_inner->error(); }
    [[nodiscard]] std::optional<std::string> sha256() const override { return m_digest; }

private:
    std::unique_ptr<OutputFile> m_inner;
    EVP_MD_CTX* m_context;
    std::optional<std::string> m_digest;
};

} // namespace

HashingOutputFolder::HashingOutputFolder(std::shared_ptr<OutputFolder> inner) : m_inner(std::move(inner)) {}

std::shared_ptr<OutputFolder> HashingOutputFolder::makeFolder(std::string_view name)
{
    auto folder = m_inner->makeFolder(name);
    if (!folder)
        return nullptr;
    return std::make_shared<HashingOutputFolder>(std::move(folder));
}

std::unique_ptr<OutputFile> HashingOutputFolder::createFile(std::string_view name, bool replace)
{
    auto file = m_inner->createFile(name, replace);
    if (!file)
        return nullptr;
    return std::make_unique<HashingOutputFile>(std::move(file));
}

} // namespace sarvik::recovery
