// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>

namespace sarvik::platform {

namespace {
constexpr std::size_t kDigestBytes = 32;
} // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&m_state->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        throw std::bad_alloc();
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(m_state->algorithm, &m_state->hash, nullptr, 0, nullptr, 0, 0))) {
        ::BCryptCloseAlgorithmProvider(m_state->algorithm, 0);
        throw std::bad_alloc();
    }
}

Sha256::~Sha256()
{
    if (m_state->hash != nullptr)
        ::BCryptDestroyHash(m_state->hash);
    ::BCryptCloseAlgorithmProvider(m_state->algorithm, 0);
}

bool Sha256::update(disk::ByteSpan bytes)
{
    // BCryptHashData takes a non-const pointer but only reads through it.
    auto* data = const_cast<PUCHAR>(reinterpret_cast<const UCHAR*>(bytes.data())); // NOLINT: see above
    std::size_t left = bytes.size();
    while (left > 0) {
        const auto chunk = static_cast<ULONG>(std::min<std::size_t>(left, 1u << 30));
        if (!BCRYPT_SUCCESS(::BCryptHashData(m_state->hash, data, chunk, 0)))
            return false;
        data += chunk;
        left -= chunk;
    }
    return true;
}

std::string Sha256::hexDigest()
{
    std::array<UCHAR, kDigestBytes> digest{};
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(m_state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        return {};
    std::string hex;
    for (const UCHAR byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

} // namespace sarvik::platform
