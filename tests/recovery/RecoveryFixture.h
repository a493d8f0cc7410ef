// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hand-built volumes for the copy: a FAT16 volume whose FATs, clusters and
// catalogue are written directly, and an NTFS-like volume holding MFT records
// and clusters at chosen sectors. The catalogue is filled by hand so that names
// no scan would produce (separators, "..", control characters) can be tried.

#include "catalogue/Catalogue.h"
#include "catalogue/FolderTree.h"
#include "disk/BlockSource.h"
#include "disk/Volume.h"
#include "recovery/FileRecovery.h"
#include "search/NamePatterns.h"
#include "support/MemoryOutputFolder.h"
#include "support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sarvik::test {

/// A source that calls `onRead` before each read (to press Skip or Stop in the
/// middle of a file), counts reads, and leaves garbage where a read fails.
class HookedSource final : public disk::BlockSource {
public:
    explicit HookedSource(std::shared_ptr<disk::MemoryBlockSource> base) : m_base(std::move(base)) {}
    std::uint64_t size() const override { return m_base->size(); }
    disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        ++reads;
        if (onRead)
            onRead(offset, buffer.size());
        const disk::ReadStatus status = m_base->read(offset, buffer);
        if (status == disk::ReadStatus::Failed) // a failed read leaves garbage behind, as devices do
            for (auto& b : buffer)
                b = std::byte{0xA5};
        return status;
    }
    std::function<void(std::uint64_t, std::size_t)> onRead;
    mutable std::size_t reads = 0;

private:
    std::shared_ptr<disk::MemoryBlockSource> m_base;
};

/// Deterministic file content: byte i of file `seed`.
inline std::vector<std::byte> pattern(std::size_t size, unsigned seed)
{
    std::vector<std::byte> out(size);
    std::uint32_t x = 2166136261u ^ seed;
    for (auto& b : out) {
        x = x * 16777619u + 12345u;
        b = static_cast<std::byte>(x >> 24);
    }
    return out;
}

/// A FAT16 volume: 1 reserved sector, two FATs of 8 sectors, a root of 64
/// entries (4 sectors), clusters of `spc` sectors from sector 21 on.
struct FatRecoveryVolume {
    explicit FatRecoveryVolume(std::uint8_t sectorsPerCluster = 4, std::size_t sectors = 8192)
        : image(fat16Boot(sectors, 1, 8, sectorsPerCluster, 64)), spc(sectorsPerCluster)
    {
    }

    std::uint64_t clusterOffset(std::uint32_t cluster) const { return (21 + (cluster - 2ull) * spc) * 512; }
    void putData(std::uint32_t cluster, const std::vector<std::byte>& bytes, std::size_t from, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i)
            image.bytes().at(clusterOffset(cluster) + i) = bytes.at(from + i);
    }
    /// Writes `bytes` into the given clusters in order (the last one partly).
    void putFile(const std::vector<std::uint32_t>& clusters, const std::vector<std::byte>& bytes)
    {
        const std::size_t clusterBytes = spc * 512u;
        for (std::size_t k = 0, at = 0; k < clusters.size() && at < bytes.size(); ++k, at += clusterBytes)
            putData(clusters[k], bytes, at, std::min(clusterBytes, bytes.size() - at));
    }
    /// Sets the FAT entry of `cluster` in FAT copy 1 or 2.
    void fat(int copy, std::uint32_t cluster, std::uint16_t value)
    {
        image.put((copy == 1 ? 1 : 9) * 512ull + cluster * 2ull, 2, value);
    }
    void chain(int copy, const std::vector<std::uint32_t>& clusters)
    {
        for (std::size_t k = 0; k < clusters.size(); ++k)
            fat(copy, clusters[k], k + 1 < clusters.size() ? static_cast<std::uint16_t>(clusters[k + 1]) : 0xFFFF);
    }

    /// Selects the image; keeps the memory source so tests can mark bad sectors.
    void select()
    {
        memory = image.source();
        hooked = std::make_shared<HookedSource>(memory);
        ASSERT_TRUE(selectImage(volume, image));
        volume.reader.setDevice("mem.img", hooked);
    }
    void addFile(const std::string& name, std::uint32_t firstCluster, std::uint32_t size, std::uint32_t parent = 0)
    {
        catalogue.AddFatFile(name, firstCluster, parent, 0, 0, size, 1);
    }
    void addFolder(const std::string& name, std::uint32_t firstCluster, std::uint32_t parent = 0)
    {
        catalogue.AddFatFolder(name, firstCluster, parent, 0, 0, 0, 1);
    }
    void buildTree() { tree.BuildFolderTree(catalogue, catalogue::CatalogueKind::Fat); }

    ImageBuilder image;
    std::uint32_t spc;
    std::shared_ptr<disk::MemoryBlockSource> memory;
    std::shared_ptr<HookedSource> hooked;
    disk::SelectedVolume volume;
    catalogue::Catalogue catalogue;
    catalogue::FolderTree tree;
};

/// Records what the copy reports.
struct RecordingObserver final : recovery::RecoveryObserver {
    void path(const std::string& t) override { paths.push_back(t); }
    void fileName(const std::string& n) override { names.push_back(n); }
    void totalFiles(std::uint32_t c) override { totals.push_back(c); }
    void fileProgress(std::uint32_t p) override { progress.push_back(p); }
    void fileDone(const recovery::FileReport& r) override { done.push_back(r.name); }
    bool continueAfterError(const std::string& message) override
    {
        questions.push_back(message);
        return answer;
    }
    std::vector<std::string> paths, names, done, questions;
    std::vector<std::uint32_t> totals, progress;
    bool answer = true;
};

/// Everything one copy needs, around a volume and its catalogue.
struct CopyRig {
    CopyRig(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
            const catalogue::FolderTree& tree)
        : recovery(volume, catalogue, tree, filters, settings, control, observer, report)
    {
    }
    recovery::TargetFolder target() { return {dest, dest->displayPath()}; }
    std::vector<std::byte> content(const std::string& path) const
    {
        const auto* e = dest->find(path);
        return e == nullptr ? std::vector<std::byte>{} : e->bytes;
    }
    bool has(const std::string& path) const { return dest->find(path) != nullptr; }

    search::FilterPatterns filters;
    recovery::RecoverySettings settings;
    catalogue::RecoveryControl control;
    RecordingObserver observer;
    recovery::RecoveryReport report;
    std::shared_ptr<recovery::MemoryOutputFolder> dest = std::make_shared<recovery::MemoryOutputFolder>("/dest");
    recovery::FileRecovery recovery;
};

} // namespace sarvik::test
