// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where recovered files go, as the copy sees it. The copy only ever names one
// component at a time inside a folder it was given, so it cannot reach outside
// the destination; the implementations refuse any component that is empty,
// "." or "..", or holds a separator, and create the final component without
// following a symbolic link. The POSIX implementation lives in platform/; an
// in-memory one (tests/support/MemoryOutputFolder.h) serves tests.

#include "disk/ByteReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::recovery {

/// Times to give a recovered file or folder, in seconds since 1970-01-01 UTC
/// and the nanoseconds within that second.
struct EntryTimes {
    std::int64_t modified = 0;
    std::int64_t accessed = 0;
    std::uint32_t modifiedNanoseconds = 0; ///< past `modified` (exFAT keeps hundredths)
    std::uint32_t accessedNanoseconds = 0;
};

/// One file being written.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    /// Appends bytes; false when they could not all be written.
    [[nodiscard]] virtual bool write(disk::ByteSpan bytes) = 0;
    /// Appends `count` bytes that read as zeros, as a hole (no space taken)
    /// where the destination keeps holes: a sparse run of a file. The file's
    /// length includes them even when nothing is written after them. False when
    /// they could not be added. By default they are written as zeros.
    [[nodiscard]] virtual bool writeHole(std::uint64_t count);
    /// Closes the file; false when the last writes could not be committed.
    [[nodiscard]] virtual bool close() = 0;
    /// Why the last write or close failed, as the system says it; empty when unknown.
    [[nodiscard]] virtual std::string error() const { return {}; }
    /// Bytes the file holds (holes included), counting those a failed write
    /// left behind; nothing when the destination cannot tell.
    [[nodiscard]] virtual std::optional<std::uint64_t> length() const { return std::nullopt; }
    /// Lower-case hex SHA-256 of the bytes written, once closed, from a folder
    /// that hashes what it writes (platform/HashingOutputFolder.h); nothing otherwise.
    [[nodiscard]] virtual std::optional<std::string> sha256() const { return std::nullopt; }
};

/// One folder of the destination.
class OutputFolder {
public:
    virtual ~OutputFolder() = default;

    /// The folder as a path the user can read (for labels and messages).
    [[nodiscard]] virtual std::string displayPath() const = 0;

    /// True when anything (file, folder, link, ...) already carries this name.
    [[nodiscard]] virtual bool exists(std::string_view name) const = 0;

    /// Creates the subfolder `name` unless it exists, and opens it. Nothing when
    /// it cannot be made or what carries the name is not a real folder (a link to
    /// a folder is not entered).
    [[nodiscard]] virtual std::shared_ptr<OutputFolder> makeFolder(std::string_view name) = 0;

    /// Creates the file `name` for writing. With `replace` false the name must be
    /// free; with `replace` true an existing plain file is emptied and reused.
    /// Never follows a symbolic link and never writes into a file that has other
    /// hard links. Nothing when the file cannot be created.
    [[nodiscard]] virtual std::unique_ptr<OutputFile> createFile(std::string_view name, bool replace) = 0;
    /// Why the last createFile failed, as the system says it; empty when unknown.
    [[nodiscard]] virtual std::string createError() const { return {}; }

    /// Gives the closed file `from` the name `to`. With `replace` false the name
    /// must be free (and stays taken by whatever holds it); with `replace` true
    /// an existing plain file of that name is replaced. Never follows a symbolic
    /// link. Empty when done, else why not.
    [[nodiscard]] virtual std::string rename(std::string_view from, std::string_view to, bool replace) = 0;

    /// Gives the entry `name` (a closed file or a folder) these modification and
    /// access times, without following a symbolic link. False when it cannot.
    [[nodiscard]] virtual bool setTimes(std::string_view /*name*/, const EntryTimes& /*times*/) { return false; }

    /// The files at `paths` (the files a source is read from) are never
    /// emptied or replaced through this folder or any folder below it, under
    /// any of their names: createFile and rename refuse them, with a duplicate
    /// policy that replaces too. Set before the first file is written.
    virtual void keepOff(const std::vector<std::string>& /*paths*/) {}
    /// True when what carries `name` is a file kept off (keepOff).
    [[nodiscard]] virtual bool keptOff(std::string_view /*name*/) const { return false; }
};

/// The reason createFile or rename gives for a file kept off (keepOff).
inline constexpr std::string_view kKeptOffText = "it is a file the source is read from, which is never written";

/// Longest name of one entry, in bytes.
inline constexpr std::size_t kMaxComponentBytes = 255;

/// `utf8` cut to kMaxComponentBytes at a character boundary (a character is
/// never split); a shorter name is returned as it is.
[[nodiscard]] std::string cutToComponent(std::string utf8);
/// `utf8` cut to at most `bytes` bytes, the same way.
[[nodiscard]] std::string cutToComponent(std::string utf8, std::size_t bytes);

/// `utf8` made to fit `bytes` keeping its extension: "stem~1.ext", the stem
/// cut at a character boundary; a name without an extension (or with one
/// too long to keep) is cut as cutToComponent does. A name that fits is
/// returned as it is.
[[nodiscard]] std::string shortenedComponent(std::string utf8, std::size_t bytes);

/// True when the UTF-8 bytes at `at` of `utf8` are a character that reorders
/// how text around it is shown (U+202A-U+202E, U+2066-U+2069), so that a name
/// holding one can be shown as another name.
[[nodiscard]] bool isBidiControl(std::string_view utf8, std::size_t at) noexcept;

/// `utf8` with each such character turned to '_'.
[[nodiscard]] std::string withoutBidiControls(std::string_view utf8);

/// The name as safeComponent cleans it (separators and controls to '_') but
/// neither shortened nor rid of reordering characters: what the file is
/// called, for the report of a file written under a changed name.
[[nodiscard]] std::string uncutComponent(std::string_view diskName, bool namesAreUtf8);

/// True when `name` can name one entry inside a folder: not empty, not "." or
/// "..", no '/', '\\' or NUL byte.
[[nodiscard]] bool isSafeComponent(std::string_view name) noexcept;

/// The name a file or folder read from disk (8-bit, Windows-1252) is written
/// under: UTF-8; '/', '\\' and control characters (below 0x20, 0x7F and the
/// C1 range) become '_'; "." and ".." become "_" and "__"; an empty name
/// becomes "_"; a name longer than 255 bytes is shortened keeping its
/// extension (shortenedComponent).
[[nodiscard]] std::string safeComponent(std::string_view diskName);

/// `utf8` with the characters that FAT, exFAT and NTFS refuse in a name
/// (< > : " \ | ? * and controls) turned to '_', and a trailing dot or blank
/// too. Other names are returned as they are.
[[nodiscard]] std::string restrictedName(std::string_view utf8);

/// The same for a name that is UTF-8 already when `namesAreUtf8` is set (a
/// thorough scan): only '/', '\\' and C0 controls and DEL become '_', and
/// characters that reorder text (withoutBidiControls).
[[nodiscard]] std::string safeComponent(std::string_view diskName, bool namesAreUtf8);

} // namespace sarvik::recovery
