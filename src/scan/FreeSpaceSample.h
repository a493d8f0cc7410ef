// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// After a quick scan: a look at a few hundred clusters spread over the free
// space that no found entry names, to tell whether the deep search of free
// space is worth its cost (a formatted card holds old files there; a blank
// one holds zeros), and what that cost is at this device's speed.

#include "catalogue/ScanObserver.h"
#include "scan/ScanSession.h"

#include <cstdint>
#include <string>

namespace sarvik::scan {

struct FreeSpaceSample {
    /// Bytes of free clusters that no found entry names.
    std::uint64_t unclaimedBytes = 0;
    /// What the deep search reads of them (of a large cluster, its head).
    std::uint64_t bytesToRead = 0;
    /// Clusters looked at, and of them those whose first bytes are not one value repeated.
    std::uint32_t sampled = 0;
    std::uint32_t holdingData = 0;
    /// The device's speed in one long read of free space; 0 when not measured.
    double bytesPerSecond = 0;
    /// NTFS: the free cluster right after the MFT's end holds a record, as an
    /// earlier MFT that a quick format cut short leaves behind.
    bool earlierMft = false;

    /// True when enough of the sample holds data to point the user at the deep search.
    [[nodiscard]] bool holdsUnnamedData() const noexcept;
    /// "Free space holds data no entry names (212 of 256 sampled clusters)", and
    /// what holds the records of an earlier MFT.
    [[nodiscard]] std::string finding() const;
    /// "59.1 GB to read; a rough guess at this device's speed: about 12 min" (the time when measured).
    [[nodiscard]] std::string cost() const;
};

/// Clusters a sample reads the head of, at most.
inline constexpr std::uint32_t kSampleClusters = 256;

/// Samples the free space of the scanned volume of `session` (FAT, exFAT or
/// NTFS): reads the head of up to kSampleClusters clusters spread evenly over
/// the unclaimed free clusters, in disk order, and times one read of up to
/// 4 MiB from the middle of the longest stretch of them. Reads the allocation table or bitmap besides; nothing else.
[[nodiscard]] FreeSpaceSample SampleFreeSpace(const ScanSession& session,
                                              const catalogue::ScanControl* control = nullptr);

} // namespace sarvik::scan
