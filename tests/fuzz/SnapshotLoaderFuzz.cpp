// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the snapshot loader. Any input must load without a
// crash, a read past the buffer or a hang; whatever loads must save again, and
// that save must load whole and save to the same bytes.

#include "scan/ScanSession.h"
#include "snapshot/RecoverySnapshot.h"
#include "snapshot/SnapshotFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using namespace sarvik;

namespace {

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "snapshot loader: broken rule: %s\n", why);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto bytes = std::as_bytes(std::span<const std::uint8_t>(data, size));

    snapshot::SnapshotContent content;
    const auto decoded = snapshot::DecodeSnapshot(bytes, content);
    if (decoded.status == snapshot::DecodeStatus::Refused)
        return 0;
    if ((decoded.status == snapshot::DecodeStatus::Damaged) == decoded.message.empty())
        fail("a damaged load says why, a whole one does not");

    std::vector<std::byte> saved;
    if (!snapshot::EncodeSnapshot(content.info, content.partition, content.geometry, content.catalogue, saved).ok)
        fail("whatever loads fits the format again");
    snapshot::SnapshotContent again;
    if (snapshot::DecodeSnapshot(saved, again).status != snapshot::DecodeStatus::Loaded)
        fail("a saved snapshot loads whole");
    std::vector<std::byte> savedAgain;
    (void)snapshot::EncodeSnapshot(again.info, again.partition, again.geometry, again.catalogue, savedAgain);
    if (saved != savedAgain)
        fail("save, load, save gives the same bytes");

    // The session path builds the folder tree from hostile parent keys.
    scan::ScanSession session;
    (void)snapshot::LoadSnapshot(session, bytes);
    (void)session.rows(session.tree.rootKey());
    return 0;
}
