// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The three values the user sets for copying found files. They live in memory
// only: every start begins with the start-up values again. Only DuplicatePolicy
// steers the copy; SectorsPerRead and BadSectorRetries are held and shown.

#include <cstdint>

namespace sarvik::recovery {

/// What to do when the target name of a file already exists.
namespace DuplicatePolicy {
inline constexpr std::uint16_t Rename = 1;    ///< write it as "Copy (n ) of name"
inline constexpr std::uint16_t Overwrite = 2; ///< replace what is there
inline constexpr std::uint16_t Skip = 3;      ///< leave the existing file alone
} // namespace DuplicatePolicy

struct RecoverySettings {
    std::int32_t SectorsPerRead = 60; ///< 1..100
    std::uint16_t DuplicatePolicy = DuplicatePolicy::Rename;
    std::uint16_t BadSectorRetries = 3; ///< 1..10
    /// Recovered files and folders get the times the catalogue holds (off: the
    /// times of the copy).
    bool KeepOriginalTimes = true;
    /// Scan and copy in the thorough mode (on at start-up; off gives the classic
    /// rules): whole FAT folders, names outside ASCII, and NTFS files copied from
    /// attribute lists, decompressed, and written even when empty.
    bool ThoroughScan = false;
    /// With the thorough rules: every scan goes on to search the free space
    /// (the deep search: lost folders, files by their content) as soon as its
    /// results are shown. Off at start-up: the deep search reads the whole free
    /// space, and the user starts it when the quick scan's results call for it.
    bool DeepSearch = false;

    /// The start-up values: 8 sectors per read on the 'F' platform family, 60 on
    /// 'N' (every Linux system counts as 'N'); Rename; 3 retries; the thorough rules.
    [[nodiscard]] static RecoverySettings startup(char osFamily = 'N') noexcept
    {
        RecoverySettings s;
        s.SectorsPerRead = osFamily == 'F' ? 8 : 60;
        s.ThoroughScan = true;
        return s;
    }
};

} // namespace sarvik::recovery
