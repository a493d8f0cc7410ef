// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/FileSearch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace sarvik::search {
namespace {

using catalogue::Catalogue;
using catalogue::CatalogueKind;
using catalogue::FolderTree;

// Root holds notes.txt; Documents (cluster 10) holds Old (cluster 11, deleted)
// which holds report.doc; a file names a parent cluster that is not listed.
struct FatFixture {
    Catalogue catalogue;
    FolderTree tree;
    FatFixture()
    {
        catalogue.AddFatFolder("Documents", 10, 0, 0, 0, 0, 0);
        catalogue.AddFatFolder("Old", 11, 10, 0, 0, 0, 1);
        addFile("notes.txt", 0, 120);
        addFile("report.doc", 11, 4096);
        addFile("lost.TXT", 99, 7);
        addFile("Mydoc.bin", 10, 1);
        tree.BuildFolderTree(catalogue, CatalogueKind::Fat);
    }
    void addFile(const std::string& name, std::uint32_t parent, std::uint32_t size)
    {
        catalogue.AddFatFile(name, 20 + catalogue.fileCount(), parent, 0, 0, size, 1);
    }
    std::vector<SearchMatch> find(std::string_view pattern)
    {
        SearchControl control;
        std::vector<SearchMatch> out;
        FindFiles(catalogue, tree, CatalogueKind::Fat, pattern, control,
                  [&](const SearchMatch& m) { out.push_back(m); });
        return out;
    }
};

TEST(FileSearch, MatchesIgnoreCaseKeepNamesAndGiveFolderPaths)
{
    FatFixture f;
    const auto txt = f.find("*.txt");
    ASSERT_EQ(txt.size(), 2u);
    EXPECT_EQ(txt[0].name, "notes.txt");
    EXPECT_EQ(txt[0].path, "\\"); // root directory
    EXPECT_EQ(txt[0].size, 120u);
    EXPECT_EQ(txt[1].name, "lost.TXT");
    EXPECT_EQ(txt[1].path, "\\"); // parent not in the catalogue

    // A plain pattern is a substring test in any case; list order is kept.
    const auto doc = f.find("doc");
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0].name, "report.doc");
    EXPECT_EQ(doc[0].path, "\\Documents\\Old");
    EXPECT_EQ(doc[0].fileIndex, 1u);
    EXPECT_EQ(doc[1].path, "\\Documents");

    EXPECT_TRUE(f.find("").empty());
    EXPECT_TRUE(f.find("*.jpg").empty());
}

TEST(FileSearch, NtfsPathsAndATextEndingInABackslash)
{
    Catalogue c;
    c.AddNtfsFolder("Dir\\", 40, 5, 0, 0, 0, 0);
    c.AddNtfsFolder("Sub", 41, 40, 0, 0, 0, 1);
    c.AddNtfsFile(1000, "big.iso", 50, 41, 0, 0, 1, 5'000'000'000ull);
    c.AddNtfsFile(1002, "top.iso", 51, 5, 0, 0, 1, 3);
    FolderTree tree;
    tree.BuildFolderTree(c, CatalogueKind::Ntfs);
    SearchControl control;
    std::vector<SearchMatch> out;
    EXPECT_EQ(
        FindFiles(c, tree, CatalogueKind::Ntfs, "*.ISO", control, [&](const SearchMatch& m) { out.push_back(m); }), 2u);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].path, "\\Dir\\Sub"); // no second backslash after "Dir\"
    EXPECT_EQ(out[0].size, 5'000'000'000ull);
    EXPECT_EQ(out[1].path, "\\");
}

// A large catalogue so that a walk lasts long enough to be paused mid-way.
Catalogue manyFiles(std::uint32_t count)
{
    Catalogue c;
    for (std::uint32_t i = 0; i < count; ++i) {
        c.AddFatFile((i % 3 == 0 ? "hit" : "other") + std::to_string(i) + ".dat", i + 2, 0, 0, 0, i, 1);
    }
    return c;
}

TEST(FileSearch, PausedWalkWaitsThenResumesToTheSameResult)
{
    const Catalogue c = manyFiles(30'000);
    FolderTree tree;
    SearchControl reference;
    std::vector<std::size_t> uninterrupted;
    FindFiles(c, tree, CatalogueKind::Fat, "HIT", reference,
              [&](const SearchMatch& m) { uninterrupted.push_back(m.fileIndex); });
    ASSERT_EQ(uninterrupted.size(), 10'000u);

    SearchControl control;
    std::atomic<std::size_t> seen{0};
    std::vector<std::size_t> found;
    control.pause(); // paused before the first entry: nothing may be found until resumed
    std::thread worker([&] {
        FindFiles(c, tree, CatalogueKind::Fat, "hit", control, [&](const SearchMatch& m) {
            found.push_back(m.fileIndex);
            ++seen;
        });
    });
    for (int i = 0; i < 200 && !control.waiting(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(control.waiting());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(seen.load(), 0u);
    control.resume();
    worker.join();
    EXPECT_EQ(found, uninterrupted);
}

TEST(FileSearch, StopEndsAPausedWalkAndKeepsEarlierMatches)
{
    const Catalogue c = manyFiles(30'000);
    FolderTree tree;
    SearchControl control;
    std::size_t found = 0;
    std::size_t returned = 0;
    std::thread worker([&] {
        returned = FindFiles(c, tree, CatalogueKind::Fat, "HIT", control, [&](const SearchMatch&) {
            if (++found == 5)
                control.pause(); // the walk waits at its next check
        });
    });
    for (int i = 0; i < 400 && !control.waiting(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(control.waiting());
    control.stop();
    worker.join(); // a stopped walk returns even though it was never resumed
    EXPECT_EQ(found, 5u);
    EXPECT_EQ(returned, 5u);
}

} // namespace
} // namespace sarvik::search
