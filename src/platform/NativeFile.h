#pragma once
// A file or device as this system holds it open, by its own handle: a file
// descriptor on POSIX systems, a HANDLE on Windows. Devices are read through
// it (Devices.h); the files of a copy and snapshots are written through it.
// Writing all of a buffer, passing over a hole and closing with the system's
// reason for a failure are the same steps for every writer; each system has its
// own implementation (PosixNativeFile.cpp, WinNativeFile.cpp; openRegularFile
// in PosixRegularFile.cpp, WinRegularFile.cpp).

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

/// Opens `path`, a file the user named, for writing: a new file, or with
/// `replace` an existing plain file (not a device, pipe, folder or link),
/// emptied. Nothing, with the reason (without the path) in `error`, when it
/// cannot.
[[nodiscard]] std::optional<NativeFile> openRegularFile(const std::string& path, bool replace, std::string& error);

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
