// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <new>

namespace sarvik::platform {

struct Sha256::State {
    EVP_MD_CTX* context = nullptr;
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    m_state->context = EVP_MD_CTX_new();
    if (m_state->context == nullptr || EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(m_state->context);
        throw std::bad_alloc();
    }
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_state->context);
}

bool Sha256::update(disk::ByteSpan bytes)
{
    return EVP_DigestUpdate(m_state->context, bytes.data(), bytes.size()) == 1;
}

std::string Sha256::hexDigest()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_state->context, digest, &length) != 1)
        return {};
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

} // namespace sarvik::platform
