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

} // namespace

class RealFatVolume : public ::testing::TestWithParam<const char*> {};

// Every deleted file whose clusters are contiguous, whose data and directory
// entry are still on disk and whose entry the default scan reads, comes back
// byte-exact at the path of its folder; the volume's bytes are unchanged.
TEST_P(RealFatVolume, RecoverAllMatchesTheManifest)
{
    const fs::path dir = SARVIK_TEST_VOLUMES;
    const fs::path image = dir / (std::string(GetParam()) + ".img");
    const fs::path manifest = dir / (std::string(GetParam()) + ".manifest.tsv");
    if (!fs::exists(image) || !fs::exists(manifest))
        GTEST_SKIP() << "no " << image << " (run tools/make-test-volumes.sh " << dir.string() << " all)";

    auto bytes = test::readImageFile(image);
    const std::string before = test::sha256Hex(bytes);
    scan::ScanSession session;
    ASSERT_TRUE(test::scanImage(session, std::move(bytes)));

    const auto rows = session.rows(session.tree.rootKey());
    auto [dest, report] = test::recoverRows(session, rows);
    EXPECT_EQ(report.totals().failed, 0u);

    std::size_t checked = 0, expectedChecks = 0;
    for (const auto& m : readManifest(manifest)) {
        if (m.type != "file" || m.state != "deleted" || m.contiguous != "yes" ||
            m.notes.find("overwritten") != std::string::npos)
            continue;
        const bool readable = m.notes.find("beyond_first_cluster") == std::string::npos && asciiOnly(m.path);
        // The entry that the scan found for this file: same first cluster and size.
        const catalogue::FatFileEntry* entry = nullptr;
        for (const auto& e : session.catalogue.FatFileList)
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
            path = recovery::safeComponent(n->name) + "/" + path;
        // Two entries of one name in a folder: the later ones are "Copy (n ) of" it.
        const std::string name = recovery::safeComponent(entry->name);
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
        if (m.size != 0)
            ++checked;
    }
    EXPECT_GE(checked + 2, expectedChecks); // empty files have no first cluster to match on
    EXPECT_GT(checked, 0u);
    const disk::BlockSource& volumeBytes = *session.volume.reader.source();
    std::vector<std::byte> after(volumeBytes.size());
    ASSERT_EQ(volumeBytes.read(0, after), disk::ReadStatus::Ok);
    EXPECT_EQ(test::sha256Hex(after), before); // nothing was written to the volume
    std::printf("[ measured ] %s: %zu deleted contiguous files byte-exact, %u written in all\n", GetParam(), checked,
                report.totals().written);
}

INSTANTIATE_TEST_SUITE_P(Images, RealFatVolume, ::testing::Values("fat16", "fat16-s1", "fat32", "fat32-s1"));
