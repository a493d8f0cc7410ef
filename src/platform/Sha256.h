// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SHA-256 of a stream of bytes, through the system's cryptography library
// (OpenSSL's libcrypto, or Windows' CNG).

#include "disk/ByteReader.h"

#include <memory>
#include <string>

namespace sarvik::platform {

class Sha256 {
public:
    /// Throws std::bad_alloc when the library cannot set up a digest.
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    /// Adds bytes; false when the library failed.
    [[nodiscard]] bool update(disk::ByteSpan bytes);
    /// The digest of everything added, as lower-case hex; empty when the
    /// library failed. Ends the digest.
    [[nodiscard]] std::string hexDigest();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace sarvik::platform
