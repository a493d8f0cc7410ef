// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file or device as this system holds it open, by its own handle: a file
// descriptor on POSIX systems, a HANDLE on Windows. Devices are read through
// it (Devices.h); the files of a copy and snapshots are written through it.
// Writing all of a buffer, passing over a hole and closing with the system's
// reason for a failure are the same steps for every writer; each system has its
// own implementation (PosixNativeFile.cpp, WinNativeFile.cpp; the steps of a
// whole file in PosixRegularFile.cpp, WinRegularFile.cpp).

#include "disk/ByteReader.h"
#include "recovery/OutputFolder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace sarvik::platform {

#if defined(_WIN32)
using NativeFile = void*; ///< a HANDLE
#else
using NativeFile = int; ///< a file descriptor
#endif

// A file the user named (a snapshot) is written whole under a name of its own
// beside `path`, synced, and only then renamed to `path`: a killed program or a
// full disk leaves no file under `path` that looks finished.

/// Why `path` may not be written: an existing name unless `replace`, and then
/// anything but a plain file (a device, pipe, folder or link). Nothing when it may.
[[nodiscard]] std::optional<std::string> refusedTarget(const std::string& path, bool replace);

/// Creates a new, empty file in the folder of `path` under a name no file has
/// yet ("NAME.part", else "NAME.N.part"), given in `created`. Nothing, with the
/// reason (without the path) in `error`, when it cannot.
[[nodiscard]] std::optional<NativeFile> createBeside(const std::string& path, std::string& created, std::string& error);

/// Asks the system to put what was written to `file` on the storage. False,
/// with the system's reason in `error`, when it could not.
[[nodiscard]] bool syncFile(NativeFile file, std::string& error);

/// Gives the file at `from` the name `to` in one step, replacing a plain file
/// there only with `replace`, then syncs the folder so that the new name lasts.
/// False, with the reason in `error`, when it could not; `from` is then left.
[[nodiscard]] bool moveIntoPlace(const std::string& from, const std::string& to, bool replace, std::string& error);

/// Removes the file at `path`, when there is one; failures are not reported.
void removeFile(const std::string& path);

/// Writes all of `bytes` at the file's position, as many calls as it takes.
/// False, with the system's reason in `error`, when they could not all be
/// written. `written`, when given, gets the bytes that were, in either case.
[[nodiscard]] bool writeAll(NativeFile file, disk::ByteSpan bytes, std::string& error, std::size_t* written = nullptr);

/// What skipAhead did.
enum class SkipResult {
    Skipped,    ///< the position moved on
    CannotSeek, ///< the file has no position to move (a pipe): write zeros instead
    Failed,     ///< the system refused (a length past what the file system holds)
};

/// Moves the position of `file` `count` bytes on without writing them. Past the
/// file's end, the bytes passed over read as zeros once something is written
/// after them or endAtPosition ends the file there, and take no space where the
/// file system keeps holes (on Windows the file is marked sparse first).
[[nodiscard]] SkipResult skipAhead(NativeFile file, std::uint64_t count, std::string& error);

/// Makes the file end at its position: a file whose last bytes were passed over
/// by skipAhead gets its length. False, with the system's reason in `error`.
[[nodiscard]] bool endAtPosition(NativeFile file, std::string& error);

/// Closes `file`. False, with the system's reason in `error`, when the system
/// reports that the last writes may not have been committed.
[[nodiscard]] bool closeFile(NativeFile file, std::string& error);

/// A file of a copy being written to `file`, which it owns and closes.
[[nodiscard]] std::unique_ptr<recovery::OutputFile> makeOutputFile(NativeFile file);

} // namespace sarvik::platform
