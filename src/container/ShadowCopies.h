// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Volume shadow copies: the copy-on-write snapshots Windows keeps of an NTFS
// volume, in store files under "System Volume Information" and a catalogue
// found 7,680 bytes into the volume. Each store reads, through libvshadow, as
// the whole volume did when it was taken. The volume underneath is read
// through the block source it was opened by, so that a volume inside a
// container (E01, VHD ...) has its shadow copies read too. The library is
// optional: a build without it says that it cannot read them.

#include "disk/BlockSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sarvik::container {

/// True when this build reads shadow copies (libvshadow was found when it was built).
[[nodiscard]] bool shadowCopiesReadable();

/// One shadow copy of a volume, numbered from 1, oldest first.
struct ShadowCopy {
    std::uint32_t number = 0;
    std::uint64_t creationTime = 0; ///< FILETIME (UTC); 0 when the store does not say
    std::uint64_t size = 0;         ///< the volume's size when it was taken
    std::string error;              ///< why this store cannot be read; empty when it can
};

/// What the shadow copy catalogue of a volume holds.
struct ShadowCopyList {
    std::vector<ShadowCopy> copies;
    /// Why the catalogue cannot be read (an unknown version, a damaged
    /// header, a build without the library); empty when it was read, or the
    /// volume has none.
    std::string error;
};

/// The shadow copies of the NTFS volume `volume`; none for a volume that
/// never had one.
[[nodiscard]] ShadowCopyList listShadowCopies(const std::shared_ptr<const disk::BlockSource>& volume);

/// Shadow copy `number` (from 1) of `volume`, read-only, as a volume of its
/// own. Nothing, with the reason in `error`, when there is no such copy or it
/// cannot be read.
[[nodiscard]] std::shared_ptr<const disk::BlockSource>
openShadowCopy(const std::shared_ptr<const disk::BlockSource>& volume, std::uint32_t number, std::string& error);

} // namespace sarvik::container
