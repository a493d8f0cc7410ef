#include "platform/PosixOutputFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

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

bool writeAll(sarvik::recovery::OutputFile& f, std::string_view text)
{
    return f.write(sarvik::disk::ByteSpan(reinterpret_cast<const std::byte*>(text.data()), text.size())) && f.close();
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
