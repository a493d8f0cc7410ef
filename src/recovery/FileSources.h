// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files of a catalogue whose bytes are not read from the volume that was
// scanned but from an older image of that same volume: a shadow copy Windows
// keeps of it, whose sectors are numbered as the volume's are. Each such file
// is read from its own source; listings and copies ask here, and a catalogue
// without such files has none.

#include "disk/Volume.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sarvik::recovery {

/// An image of the volume that files are read from.
struct OtherSource {
    std::uint32_t shadowCopy = 0; ///< its number among the volume's shadow copies (from 1)
    std::uint64_t created = 0;    ///< FILETIME (UTC) the copy was taken; 0 when not known
    std::shared_ptr<const disk::SelectedVolume> volume;
};

class FileSources {
public:
    /// Adds a source; returns the number `assign` takes.
    std::size_t addSource(OtherSource source);
    /// File `fileIndex` of the catalogue is read from source `source`, where
    /// its data takes `clusters` clusters (0: it lies in its record).
    void assign(std::size_t fileIndex, std::size_t source, std::uint64_t clusters);

    /// The source file `fileIndex` is read from; null for the scanned volume.
    [[nodiscard]] const OtherSource* sourceOf(std::size_t fileIndex) const;
    /// The volume file `fileIndex` is read from; null for the scanned volume.
    [[nodiscard]] const disk::SelectedVolume* volumeOf(std::size_t fileIndex) const;
    /// "from the shadow copy of 2021-03-10 22:44 UTC"; empty for a file of the scanned volume.
    [[nodiscard]] std::string originText(std::size_t fileIndex) const;
    /// Its condition, as the listings show it: "Whole in the shadow copy of
    /// 2021-03-10 22:44 UTC" (a copy holds its files whole); empty for a file
    /// of the scanned volume.
    [[nodiscard]] std::string conditionText(std::size_t fileIndex) const;

    /// The clusters file `fileIndex` takes in its source; 0 for a file of
    /// the scanned volume.
    [[nodiscard]] std::uint64_t clustersOf(std::size_t fileIndex) const;

    /// How many files are read from another source.
    [[nodiscard]] std::size_t fileCount() const noexcept { return m_sourceOf.size(); }
    [[nodiscard]] const std::vector<OtherSource>& sources() const noexcept { return m_sources; }

private:
    std::vector<OtherSource> m_sources;
    struct Assigned {
        std::size_t source = 0;
        std::uint64_t clusters = 0;
    };
    std::unordered_map<std::size_t, Assigned> m_sourceOf;
};

/// "2021-03-10 22:44 UTC" for a FILETIME; "an unknown time" for 0.
[[nodiscard]] std::string copyTimeText(std::uint64_t fileTime);

} // namespace sarvik::recovery
