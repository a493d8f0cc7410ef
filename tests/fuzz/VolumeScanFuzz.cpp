// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the scan engines and the copy, on damaged volumes.
//
// Real volumes are loaded once from the folder named by SARVIK_FUZZ_VOLUMES:
// the small ones made by tools/make-fuzz-volumes.sh when it holds them, else
// the test volumes of tools/make-test-volumes.sh. Each input picks one of them
// and lays small patches over its metadata (the first 2 MiB, and for NTFS the
// first MiB of the MFT, both cut to the volume), without copying the image. The patched volume is then
// selected, scanned in the default or the thorough mode, every folder of the
// tree is listed, and (when the input asks) every file is copied out into a
// folder that only counts bytes. Nothing may crash, read out of bounds, hang
// or copy more than the volume could hold.
//
// Input: byte 0 picks the volume (bits 0-1 and 4), the thorough mode (bit 2)
// and the copy (bit 3); then patches of [region][offset: 3 bytes][length-1][bytes].

#include "catalogue/ScanObserver.h"
#include "disk/BlockSource.h"
#include "disk/ByteReader.h"
#include "disk/Volume.h"
#include "recovery/FileRecovery.h"
#include "recovery/OutputFolder.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoverySettings.h"
#include "scan/ScanSession.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

using namespace sarvik;

namespace {

[[noreturn]] void fail(const char* why)
{
    std::fprintf(stderr, "volume scan: broken rule: %s\n", why);
    std::abort();
}

struct Base {
    std::string name;
    std::vector<std::byte> bytes;
    std::uint64_t mftOffset = 0; ///< 0 on FAT
};

std::vector<Base>& bases()
{
    static std::vector<Base> loaded;
    return loaded;
}

std::uint64_t leUint(const std::vector<std::byte>& b, std::size_t offset, unsigned width)
{
    std::uint64_t v = 0;
    for (unsigned i = 0; i < width && offset + i < b.size(); ++i)
        v |= std::to_integer<std::uint64_t>(b[offset + i]) << (8 * i);
    return v;
}

struct Patch {
    std::uint64_t offset = 0;
    std::vector<std::byte> bytes;
};

// The base volume with the patches laid over every read.
class PatchedSource final : public disk::BlockSource {
public:
    PatchedSource(const Base& base, std::vector<Patch> patches) : m_base(base), m_patches(std::move(patches)) {}
    [[nodiscard]] std::uint64_t size() const override { return m_base.bytes.size(); }
    [[nodiscard]] disk::ReadStatus read(std::uint64_t offset, disk::MutableByteSpan buffer) const override
    {
        const std::uint64_t size = m_base.bytes.size();
        if (offset >= size)
            return disk::ReadStatus::Short;
        const std::uint64_t count = std::min<std::uint64_t>(buffer.size(), size - offset);
        std::copy_n(m_base.bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, buffer.begin());
        for (const Patch& p : m_patches) {
            const std::uint64_t from = std::max(p.offset, offset);
            const std::uint64_t to = std::min(p.offset + p.bytes.size(), offset + count);
            for (std::uint64_t at = from; at < to; ++at)
                buffer[static_cast<std::size_t>(at - offset)] = p.bytes[static_cast<std::size_t>(at - p.offset)];
        }
        return count == buffer.size() ? disk::ReadStatus::Ok : disk::ReadStatus::Short;
    }

private:
    const Base& m_base;
    std::vector<Patch> m_patches;
};

class OneDevice final : public disk::DeviceProvider {
public:
    explicit OneDevice(std::shared_ptr<const disk::BlockSource> source) : m_source(std::move(source)) {}
    disk::OpenResult open(const std::string&) override { return {m_source, {}}; }
    std::optional<std::string> volumeLabel(const std::string&) override { return std::nullopt; }

private:
    std::shared_ptr<const disk::BlockSource> m_source;
};

// A destination that keeps nothing but counts what is written to it.
struct Counts {
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
};

class CountingFile final : public recovery::OutputFile {
public:
    explicit CountingFile(Counts& counts) : m_counts(counts) {}
    bool write(disk::ByteSpan bytes) override
    {
        m_counts.bytes += bytes.size();
        return true;
    }
    bool writeHole(std::uint64_t count) override
    {
        m_counts.bytes += count;
        return true;
    }
    bool close() override { return true; }

private:
    Counts& m_counts;
};

class CountingFolder final : public recovery::OutputFolder {
public:
    explicit CountingFolder(Counts& counts) : m_counts(counts) {}
    std::string displayPath() const override { return "/fuzz"; }
    bool exists(std::string_view) const override { return false; }
    std::shared_ptr<recovery::OutputFolder> makeFolder(std::string_view name) override
    {
        if (!recovery::isSafeComponent(name))
            fail("a folder name that could leave the destination reached the output");
        return std::make_shared<CountingFolder>(m_counts);
    }
    std::unique_ptr<recovery::OutputFile> createFile(std::string_view name, bool) override
    {
        if (!recovery::isSafeComponent(name))
            fail("a file name that could leave the destination reached the output");
        ++m_counts.files;
        return std::make_unique<CountingFile>(m_counts);
    }
    std::string rename(std::string_view, std::string_view to, bool) override
    {
        if (!recovery::isSafeComponent(to))
            fail("a file name that could leave the destination reached the output");
        return {};
    }

private:
    Counts& m_counts;
};

// Files larger than this are not copied: a damaged size field alone would make
// the copy long (it zero-fills what it cannot read), which is not a fault.
constexpr std::uint64_t kMaxCopied = 4u << 20;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* folder = std::getenv("SARVIK_FUZZ_VOLUMES");
    if (folder == nullptr) {
        std::fprintf(stderr, "volume scan: set SARVIK_FUZZ_VOLUMES to a folder of test volumes\n");
        std::exit(2);
    }
    // The small volumes of tools/make-fuzz-volumes.sh when the folder has
    // them; otherwise the test volumes, as inputs found over them expect.
    std::vector<const char*> names{"fuzz-fat16.img", "fuzz-fat32.img", "fuzz-ntfs.img", "fuzz-exfat.img",
                                   "fuzz-fat12.img"};
    if (!std::filesystem::exists(std::filesystem::path(folder) / names[0]))
        names = {"fat16-s1.img", "fat32-s1.img", "ntfs.img", "fat16.img", "ntfs-extents.img", "exfat.img"};
    for (const char* name : names) {
        const std::filesystem::path path = std::filesystem::path(folder) / name;
        std::ifstream in(path, std::ios::binary);
        if (!in)
            continue;
        Base b;
        b.name = name;
        std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        b.bytes.resize(raw.size());
        std::transform(raw.begin(), raw.end(), b.bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
        if (leUint(b.bytes, 3, 4) == 0x5346544E) // "NTFS"
            b.mftOffset = leUint(b.bytes, 0x30, 8) * leUint(b.bytes, 0x0B, 2) * leUint(b.bytes, 0x0D, 1);
        bases().push_back(std::move(b));
    }
    if (bases().empty()) {
        std::fprintf(stderr, "volume scan: no test volumes in %s\n", folder);
        std::exit(2);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned pick = (data[0] & 3u) | ((data[0] >> 2) & 4u);
    const Base& base = bases()[pick % bases().size()];
    const bool thorough = (data[0] & 4) != 0;
    const bool copy = (data[0] & 8) != 0;

    std::vector<Patch> patches;
    for (std::size_t i = 1; i + 5 <= size && patches.size() < 64;) {
        const std::uint8_t region = data[i];
        const std::uint64_t within = data[i + 1] | (data[i + 2] << 8) | (static_cast<std::uint64_t>(data[i + 3]) << 16);
        const std::size_t length = std::min<std::size_t>(1 + data[i + 4] % 32, size - (i + 5));
        i += 5;
        Patch p;
        // Within the first 2 MiB, or the first MiB of the MFT; both cut to the volume.
        const std::uint64_t volumeSize = base.bytes.size();
        if (region % 2 == 1 && base.mftOffset != 0 && base.mftOffset < volumeSize)
            p.offset = base.mftOffset + within % std::min<std::uint64_t>(1u << 20, volumeSize - base.mftOffset);
        else
            p.offset = within % std::min<std::uint64_t>(2u << 20, volumeSize);
        p.bytes.assign(reinterpret_cast<const std::byte*>(data + i),
                       reinterpret_cast<const std::byte*>(data + i + length));
        i += length;
        patches.push_back(std::move(p));
    }

    auto source = std::make_shared<PatchedSource>(base, std::move(patches));
    OneDevice devices(source);
    scan::ScanSession session;
    const disk::DriveItem item{"Disk Image(fuzz.img)", "fuzz.img", disk::DriveKind::Image, source->size()};
    if (!scan::SelectVolume(session.volume, item, devices,
                            thorough ? disk::GeometryRules::Thorough : disk::GeometryRules::Classic))
        return 0;
    catalogue::ScanObserver observer;
    catalogue::ScanControl control;
    scan::RunScan(session, observer, control, scan::ScanOptions{thorough});

    const catalogue::Catalogue& c = session.catalogue;
    if (session.tree.size() > c.fsLists().FatFolderList.size() + c.fsLists().NtfsFolderList.size() + 1)
        fail("the tree places each folder once at most");
    std::size_t listed = 0;
    for (std::uint32_t handle = catalogue::FolderTree::kRootHandle; handle <= session.tree.size(); ++handle) {
        const catalogue::TreeNode* node = session.tree.node(handle);
        if (node == nullptr)
            fail("every handle up to the tree's size names a node");
        listed += session.rows(node->key).size();
    }
    (void)listed;

    if (!copy)
        return 0;
    for (const auto& e : c.fsLists().FatFileList)
        if (e.size > kMaxCopied)
            return 0;
    for (const auto& e : c.fsLists().NtfsFileList)
        if (e.size > kMaxCopied)
            return 0;
    Counts counts;
    recovery::RecoverySettings settings;
    settings.ThoroughScan = thorough;
    catalogue::RecoveryControl recoveryControl;
    recovery::RecoveryObserver recoveryObserver;
    recovery::RecoveryReport report;
    recovery::FileRecovery copier(session.volume, c, session.tree, session.filters, settings, recoveryControl,
                                  recoveryObserver, report);
    const recovery::TargetFolder target{std::make_shared<CountingFolder>(counts), "/fuzz"};
    const auto rows = session.rows(session.tree.rootKey());
    copier.RecoverListItems(rows, recovery::RecoveryMode::All, {}, target);
    // Each file is at most its size (decompressed NTFS data included), and
    // there are no more files than the catalogue lists.
    std::uint64_t sizes = 0;
    for (const auto& e : c.fsLists().FatFileList)
        sizes += e.size;
    for (const auto& e : c.fsLists().NtfsFileList)
        sizes += e.size;
    if (counts.bytes > sizes)
        fail("the copy wrote more bytes than the listed files hold");
    if (counts.files > c.fsLists().FatFileList.size() + c.fsLists().NtfsFileList.size())
        fail("the copy made more files than the catalogue lists");
    return 0;
}
