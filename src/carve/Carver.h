// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search of a source's free stretches for files by their content: every
// allocation unit's start is matched against the signatures of the wanted
// types, and each match is walked by its format to its end. The stretches are
// read in large blocks; memory stays bounded by one block and one walk's window.

#include "carve/FileFormats.h"
#include "catalogue/ScanObserver.h"
#include "disk/BlockSource.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace sarvik::carve {

/// Bytes [offset, offset + length) of the source, to be searched.
struct Extent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct CarvedFile {
    FileType type = FileType::Jpeg;
    std::string extension;
    std::uint64_t offset = 0; ///< byte offset of its first byte in the source
    std::uint64_t length = 0; ///< its length (Whole), or the bytes that held (incomplete)
    bool complete = true;     ///< false when the walk broke off before the format's end
    std::int64_t time = 0;    ///< the date it keeps of itself (WalkResult::time), 0: none
    bool timeIsLocal = false; ///< see WalkResult::timeIsLocal
    /// A file joined from pieces (CarveOptions::joinUnits): its bytes are these
    /// stretches of the source one after another (`offset` is the first's).
    /// Empty for a file in one piece.
    std::vector<Extent> pieces;
};

/// `file`'s own date as a packed FAT date and time of day (FAT keeps wall-clock
/// times); nothing without one or outside FAT's years.
[[nodiscard]] std::optional<std::pair<std::uint16_t, std::uint16_t>> fatDateTimeOf(const CarvedFile& file) noexcept;
/// `file`'s own date as "YYYY-MM-DD HH:MM:SS" (with " UTC" when it is); empty without one.
[[nodiscard]] std::string timeText(const CarvedFile& file);
/// `file`'s own date as a FILETIME (UTC, a wall-clock time taken as UTC); 0 without one.
[[nodiscard]] std::uint64_t fileTimeOf(const CarvedFile& file) noexcept;

struct CarveOptions {
    /// The types looked for, indexed by FileType.
    std::array<bool, kFileTypeCount> types = allFileTypes();
    /// Files start at multiples of this many bytes from each extent's start (a
    /// cluster, or a sector on a source without a file system).
    std::uint64_t unitBytes = 512;
    /// Bytes read at once while matching signatures.
    std::size_t blockBytes = std::size_t{4} << 20;
    /// When set, the status line names this phase with the bytes searched of
    /// the extents' and the time left (catalogue::ReadProgress).
    std::optional<catalogue::StatusCode> phase;
    /// A JPEG whose data breaks off is tried on with the units that follow
    /// the break, skipping up to this many (0: never): where one skip makes it
    /// whole, it is found as joined from two pieces (CarvedFile::pieces).
    std::uint64_t joinUnits = 0;
    /// When set, called with each file as it is found (on the searching thread).
    std::function<void(const CarvedFile&)> onFound;
    /// When set, called with the bytes read of each readable unit, before it is
    /// matched: the whole unit, or its head where units are read by their heads
    /// (disk::freeClusterReadBytes). Not called when `known` spares the reads.
    std::function<void(std::uint64_t offset, disk::ByteSpan bytes)> onUnit;
};

struct CarveResult {
    std::vector<CarvedFile> files;
    std::uint64_t bytesSearched = 0;
    std::uint64_t unreadableBytes = 0; ///< bytes of the extents that could not be read
    bool stopped = false;
};

/// Parses a `--types` list ("jpg,png,zip"); nothing when a name is unknown
/// (`unknown` then holds it).
[[nodiscard]] std::optional<std::array<bool, kFileTypeCount>> parseTypeList(std::string_view list,
                                                                            std::string& unknown);

/// What an earlier read of every unit of the extents found, so that the search
/// need not read them again: the units that start with a signature of the
/// wanted types, and the units that could not be read. Offsets in the source,
/// ascending, each the start of a unit.
struct KnownUnits {
    std::vector<std::pair<std::uint64_t, FileType>> heads;
    std::vector<std::uint64_t> unreadable;
};

/// Searches `extents` of `source`. Reports progress (0..100 over the extents'
/// bytes), the files found so far and the sector being read; stops early when
/// `control` asks (the result then says so, and holds the files found before).
/// With `known` (matched against `options.types`), only the candidates' own
/// bytes are read; the result is the same as without it.
[[nodiscard]] CarveResult Carve(const disk::BlockSource& source, std::span<const Extent> extents,
                                const CarveOptions& options, catalogue::ScanObserver& observer,
                                const catalogue::ScanControl& control, const KnownUnits* known = nullptr);

} // namespace sarvik::carve
