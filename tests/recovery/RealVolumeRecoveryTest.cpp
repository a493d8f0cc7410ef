// SPDX-License-Identifier: GPL-3.0-or-later
// Recover-all on FAT volumes made by mkfs.fat and mtools (tools/make-test-volumes.sh),
// checked against their manifests. Skipped when the volumes have not been made.

#include "recovery/FileRecovery.h"
#include "recovery/Sha256.h"
#include "scan/ScanSession.h"
#include "support/Manifest.h"
#include "support/MemoryOutputFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace sarvik;
namespace fs = std::filesystem;

namespace {

using test::ManifestRow;
using test::readManifest;

bool asciiOnly(const std::string& s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Every deleted file whose clusters are contiguous, whose data and directory
// entry are still on disk and whose entry the rules read (the classic ones: in
// a folder's first cluster, with an ASCII name), comes back byte-exact at the
// path of its folder; the thorough rules also give it its own name (a short
// name alone loses its first letter). The volume's bytes are unchanged.
void recoverAllMatchesTheManifest(const std::string& volume, bool thorough)
{
    const fs::path dir = SARVIK_TEST_VOLUMES;
    const fs::path image = dir / (volume + ".img");
    const fs::path manifest = dir / (volume + ".manifest.tsv");
    if (!fs::exists(image) || !fs::exists(manifest))
        GTEST_SKIP() << "no " << image << " (run tools/make-test-volumes.sh " << dir.string() << " all)";

    auto bytes = test::readImageFile(image);
    const std::string before = test::sha256Hex(bytes);
    scan::ScanSession session;
    ASSERT_TRUE(test::scanImage(session, std::move(bytes), thorough));

    const auto rows = session.rows(session.tree.rootKey());
    auto [dest, report] = test::recoverRows(session, rows);
    EXPECT_EQ(report.totals().failed, 0u);

    std::size_t checked = 0, expectedChecks = 0;
    for (const auto& m : readManifest(manifest)) {
        if (m.type != "file" || m.state != "deleted" || m.contiguous != "yes" ||
            m.notes.find("overwritten") != std::string::npos)
            continue;
        const bool readable =
            thorough || (m.notes.find("beyond_first_cluster") == std::string::npos && asciiOnly(m.path));
        // The entry that the scan found for this file: same first cluster and size.
        const catalogue::FatFileEntry* entry = nullptr;
        for (const auto& e : session.catalogue.fsLists().FatFileList)
            if (e.firstCluster == m.firstCluster && e.size == m.size)
                entry = &e;
        if (readable)
            ++expectedChecks;
        if (entry == nullptr) {
            EXPECT_FALSE(readable) << "not found by the scan: " << m.path;
            continue;
        }
        const catalogue::TreeNode* folder = session.tree.findByKey(entry->parentCluster);
        ASSERT_NE(folder, nullptr) << m.path;
        std::string path;
        for (const catalogue::TreeNode* n = folder; n != nullptr && n->folderIndex >= 0;
             n = session.tree.node(n->parent))
            path = recovery::safeComponent(n->name, thorough) + "/" + path;
        // Two entries of one name in a folder: the later ones are "Copy (n ) of" it.
        const std::string name = recovery::safeComponent(entry->name, thorough);
        const recovery::MemoryOutputFolder::Entry* written = nullptr;
        for (int n = 0; n < 10 && (written == nullptr || written->bytes.size() != m.size); ++n)
            written = dest->find(path + (n == 0 ? name : "Copy (" + std::to_string(n) + " ) of " + name));
        path += name;
        ASSERT_NE(written, nullptr) << m.path << " expected at " << path;
        EXPECT_EQ(written->bytes.size(), m.size) << m.path;
        EXPECT_EQ(test::sha256Hex(written->bytes), m.sha256) << m.path;
        // Its folder is the manifest's folder (the first letter of a short name is lost).
        const auto slash = m.path.find_last_of('/');
        const std::string manifestFolder = slash == std::string::npos ? "" : m.path.substr(0, slash + 1);
        EXPECT_EQ(path.substr(0, path.find_last_of('/') + 1), manifestFolder) << m.path;
        const std::string manifestName = m.path.substr(manifestFolder.size());
        if (thorough) {
            EXPECT_TRUE(name == manifestName || (!name.empty() && name.substr(1) == manifestName.substr(1)))
                << m.path << " came back as " << name;
        }
        if (m.size != 0)
            ++checked;
    }
    EXPECT_GE(checked + 2, expectedChecks); // empty files have no first cluster to match on
    EXPECT_GT(checked, 0u);
    const disk::BlockSource& volumeBytes = *session.volume.reader.source();
    std::vector<std::byte> after(volumeBytes.size());
    ASSERT_EQ(volumeBytes.read(0, after), disk::ReadStatus::Ok);
    EXPECT_EQ(test::sha256Hex(after), before); // nothing was written to the volume
    std::printf("[ measured ] %s: %zu deleted contiguous files byte-exact, %u written in all%s\n", volume.c_str(),
                checked, report.totals().written, thorough ? " (thorough rules)" : "");
}

} // namespace

class RealFatVolume : public ::testing::TestWithParam<const char*> {};

TEST_P(RealFatVolume, RecoverAllMatchesTheManifest)
{
    recoverAllMatchesTheManifest(GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(Images, RealFatVolume, ::testing::Values("fat16", "fat16-s1", "fat32", "fat32-s1"));

// FAT12 is read by the thorough rules alone.
class RealThoroughFatVolume : public ::testing::TestWithParam<const char*> {};

TEST_P(RealThoroughFatVolume, RecoverAllMatchesTheManifest)
{
    recoverAllMatchesTheManifest(GetParam(), true);
}

INSTANTIATE_TEST_SUITE_P(Images, RealThoroughFatVolume, ::testing::Values("fat12", "fat12-floppy"));
