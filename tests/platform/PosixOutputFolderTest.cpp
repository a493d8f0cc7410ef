// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PosixOutputFolder.h"
#include "platform/HashingOutputFolder.h"
#include "platform/NativeFile.h"
#include "platform/Sha256.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using sarvik::platform::PosixOutputFolder;

namespace {

struct TempDir {
    TempDir()
    {
        std::string t = (fs::temp_directory_path() / "sarvik-out-XXXXXX").string();
        path = ::mkdtemp(t.data());
    }
    ~TempDir() { fs::remove_all(path); }
    fs::path path;
};

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

sarvik::disk::ByteSpan bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

bool writeAll(sarvik::recovery::OutputFile& f, std::string_view text)
{
    return f.write(bytesOf(text)) && f.close();
}

/// Writes "head", a hole of `gap`, "tail" and, unless `endInHole` is false, a
/// hole of `gap` again; closes. The file's content as it should read back.
std::string writeWithHoles(sarvik::recovery::OutputFile& f, std::uint64_t gap, bool endInHole)
{
    std::string expected = "head" + std::string(gap, '\0') + "tail";
    EXPECT_TRUE(f.write(bytesOf("head")) && f.writeHole(gap) && f.write(bytesOf("tail")));
    if (endInHole) {
        EXPECT_TRUE(f.writeHole(gap));
        expected.append(gap, '\0');
    }
    EXPECT_TRUE(f.close());
    return expected;
}

} // namespace

// Links, hard links and pipes planted in the destination are never written
// through, with or without replacing; plain files are created and replaced;
// unsafe names are refused.
TEST(PosixOutputFolder, NeverWritesThroughWhatIsPlanted)
{
    TempDir dest, outside;
    const fs::path victim = outside.path / "victim";
    std::ofstream(victim) << "keep";
    fs::create_symlink(victim, dest.path / "link.txt");
    fs::create_directory(outside.path / "dir");
    fs::create_directory_symlink(outside.path / "dir", dest.path / "linkdir");
    fs::create_hard_link(victim, dest.path / "hard.txt");
    ASSERT_EQ(::mkfifo((dest.path / "pipe").c_str(), 0600), 0);

    std::string error;
    auto folder = PosixOutputFolder::open(dest.path.string(), error);
    ASSERT_TRUE(folder) << error;
    EXPECT_TRUE(folder->exists("link.txt"));
    EXPECT_FALSE(folder->exists("none"));
    EXPECT_FALSE(folder->createFile("link.txt", false));
    EXPECT_FALSE(folder->createFile("link.txt", true));
    EXPECT_FALSE(folder->createFile("hard.txt", true));
    EXPECT_FALSE(folder->createFile("pipe", true));
    EXPECT_FALSE(folder->makeFolder("linkdir"));
    for (const char* bad : {"", ".", "..", "a/b", "../x", "a\\b"}) {
        EXPECT_FALSE(folder->createFile(bad, true)) << bad;
        EXPECT_FALSE(folder->makeFolder(bad)) << bad;
    }
    EXPECT_EQ(slurp(victim), "keep");
    EXPECT_TRUE(fs::is_empty(outside.path / "dir"));

    auto file = folder->createFile("new.txt", false);
    ASSERT_TRUE(file);
    EXPECT_TRUE(writeAll(*file, "first version"));
    EXPECT_FALSE(folder->createFile("new.txt", false));
    auto again = folder->createFile("new.txt", true);
    ASSERT_TRUE(again);
    EXPECT_TRUE(writeAll(*again, "second"));
    EXPECT_EQ(slurp(dest.path / "new.txt"), "second");

    auto sub = folder->makeFolder("sub");
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->displayPath(), dest.path.string() + "/sub");
    auto subAgain = folder->makeFolder("sub"); // an existing folder is entered
    ASSERT_TRUE(subAgain);
    auto inner = subAgain->createFile("x", false);
    ASSERT_TRUE(inner);
    EXPECT_TRUE(writeAll(*inner, "x"));
    EXPECT_EQ(slurp(dest.path / "sub" / "x"), "x");
}

TEST(PosixOutputFolder, SetsTimesOnFilesAndFoldersButNotThroughLinks)
{
    TempDir dest, outside;
    std::string error;
    auto folder = sarvik::platform::PosixOutputFolder::open(dest.path.string(), error);
    ASSERT_NE(folder, nullptr) << error;
    {
        auto file = folder->createFile("a.txt", false);
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(file->close());
    }
    ASSERT_NE(folder->makeFolder("sub"), nullptr);
    const fs::path victim = outside.path / "victim";
    std::ofstream(victim) << "x";
    fs::create_symlink(victim, dest.path / "link");
    struct stat before {};
    ASSERT_EQ(::stat(victim.c_str(), &before), 0);

    EXPECT_TRUE(folder->setTimes("a.txt", {1700000000, 1600000000}));
    EXPECT_TRUE(folder->setTimes("sub", {1500000000, 1500000001}));
    (void)folder->setTimes("link", {1000000000, 1000000000}); // the link itself, if at all
    EXPECT_FALSE(folder->setTimes("missing", {1, 1}));
    EXPECT_FALSE(folder->setTimes("../x", {1, 1}));

    struct stat st {};
    ASSERT_EQ(::stat((dest.path / "a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1700000000);
    EXPECT_EQ(st.st_atime, 1600000000);
    ASSERT_EQ(::stat((dest.path / "sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000000);
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, before.st_mtime); // the file the link names is untouched
}

// Holes are passed over, not written: the file takes less space than its
// length, reads as zeros there, and a file that ends in a hole still gets its
// whole length. The digest of a hashing destination is that of the bytes as
// they read back, zeros of the holes included. A file that cannot seek (a
// pipe) gets the zeros written.
TEST(PosixOutputFolder, HolesArePassedOverAndReadAsZeros)
{
    TempDir dest;
    std::string error;
    auto plain = PosixOutputFolder::open(dest.path.string(), error);
    ASSERT_TRUE(plain) << error;
    auto folder = std::make_shared<sarvik::platform::HashingOutputFolder>(plain);
    constexpr std::uint64_t kGap = 8u << 20;
    for (const bool endInHole : {true, false}) {
        const std::string name = endInHole ? "ends-in-hole.bin" : "ends-in-data.bin";
        auto file = folder->createFile(name, false);
        ASSERT_TRUE(file) << folder->createError();
        const std::string expected = writeWithHoles(*file, kGap, endInHole);
        struct stat st {};
        ASSERT_EQ(::stat((dest.path / name).c_str(), &st), 0);
        EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), expected.size()) << name;
        EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, kGap) << name << ": the holes took space";
        EXPECT_TRUE(slurp(dest.path / name) == expected) << name << ": not the bytes written"; // 16 MiB, not printed
        sarvik::platform::Sha256 digest;
        ASSERT_TRUE(digest.update(bytesOf(expected)));
        EXPECT_EQ(file->sha256(), digest.hexDigest()) << name;
    }

    int pipe[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipe), 0);
    auto piped = sarvik::platform::makeOutputFile(pipe[1]);
    const std::string expected = writeWithHoles(*piped, 1000, true);
    std::string got(expected.size() + 1, 'x');
    EXPECT_EQ(::read(pipe[0], got.data(), got.size()), static_cast<ssize_t>(expected.size()));
    got.resize(expected.size());
    EXPECT_EQ(got, expected);
    ::close(pipe[0]);
}

// A tree deeper than the descriptors a process may hold: every folder stays in
// use (a copy keeps them to give them their times at the end), yet only a
// bounded number of descriptors is open, and each folder is written into again
// after its descriptor was closed. One swapped for another since is refused.
TEST(PosixOutputFolder, DeepTreesKeepFewDescriptorsOpen)
{
    TempDir dir;
    std::string error;
    auto root = PosixOutputFolder::open(dir.path.string(), error);
    ASSERT_TRUE(root) << error;
    const auto openDescriptors = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    const auto before = openDescriptors();
    constexpr int kDepth = 1100;
    std::vector<std::shared_ptr<sarvik::recovery::OutputFolder>> chain{root};
    for (int i = 0; i < kDepth; ++i) {
        chain.push_back(chain.back()->makeFolder("d"));
        ASSERT_TRUE(chain.back()) << "depth " << i;
    }
    EXPECT_LE(openDescriptors() - before, static_cast<long>(PosixOutputFolder::kOpenSubfolders) + 1);
    for (const int depth : {1, kDepth / 2, kDepth}) {
        auto file = chain[static_cast<std::size_t>(depth)]->createFile("f.txt", false);
        ASSERT_TRUE(file) << "depth " << depth;
        EXPECT_TRUE(writeAll(*file, "x"));
    }
    fs::path p = dir.path / "d";
    EXPECT_EQ(slurp(p / "f.txt"), "x");
    // Folder 1's descriptor was closed meanwhile (the deep folders opened
    // again took the budget); another folder is put in its place.
    fs::rename(p, dir.path / "moved");
    fs::create_directory(p);
    EXPECT_FALSE(chain[1]->createFile("g.txt", false));
    EXPECT_FALSE(fs::exists(p / "g.txt"));
}
