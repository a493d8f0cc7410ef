// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes a whole file that the user named (a snapshot), as a plain file only.

#include <cstddef>
#include <span>
#include <string>

namespace sarvik::platform {

/// Writes `bytes` to `path`. The name must be free, unless `replace` is set,
/// and then only a plain file (not a device, pipe, folder or symbolic link) is
/// replaced. The bytes go to a new file beside it ("NAME.part"), are synced, and
/// take the name only when all of them are written; a failed write removes that
/// file and leaves whatever was at `path` as it was. False, with the reason in
/// `error`, when it cannot.
bool writeRegularFile(const std::string& path, std::span<const std::byte> bytes, bool replace, std::string& error);

} // namespace sarvik::platform
