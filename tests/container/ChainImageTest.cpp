// SPDX-License-Identifier: GPL-3.0-or-later
// A chain of parent disks over a small library of the test's own: each disk a
// text file that names its size, its parent and the bytes it holds. What is
// checked is what the adapters share: how a chain is followed, refused and
// closed, and which regions the probe finds empty.

#include "container/ChainImage.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace sarvik::container;
using namespace sarvik::container::detail;

namespace {

// Handles made and not yet freed, and handles opened and not yet closed.
int g_liveHandles = 0;
int g_openHandles = 0;

/// One disk of the fake library: a held run of bytes is "held OFFSET LENGTH VALUE".
struct FakeHandle {
    std::uint64_t size = 0;
    std::string parentName;
    bool refusesParent = false;
    std::map<std::uint64_t, std::pair<std::uint64_t, std::uint8_t>> held; ///< offset -> length, value
    FakeHandle* parent = nullptr;
    std::shared_ptr<std::uint64_t> counter; ///< bytes read from this disk's file, when counted
};

int fakeClose(FakeHandle* /*handle*/, std::intptr_t** /*error*/)
{
    --g_openHandles;
    return 0;
}

int fakeFree(FakeHandle** handle, std::intptr_t** /*error*/)
{
    delete *handle; // NOLINT: the fake library's own allocation
    *handle = nullptr;
    --g_liveHandles;
    return 1;
}

void fakeErrorFree(std::intptr_t** error)
{
    *error = nullptr;
}

int fakeErrorSprint(std::intptr_t* /*error*/, char* text, std::size_t size)
{
    return std::snprintf(text, size, "fake_set_parent: parent refused.\nfake_open: unable to link.\n");
}

std::intptr_t g_refusal = 1; ///< what a failing call points an error at

int fakeSetParent(FakeHandle* child, FakeHandle* parent, std::intptr_t** error)
{
    if (child->refusesParent) {
        *error = &g_refusal;
        return -1;
    }
    child->parent = parent;
    return 1;
}

/// Each byte from the first disk down the chain that holds it, zero where none does.
std::int64_t fakeRead(FakeHandle* handle, void* into, std::size_t length, std::int64_t offset,
                      std::intptr_t** /*error*/)
{
    auto* bytes = static_cast<std::uint8_t*>(into);
    for (std::size_t i = 0; i < length; ++i) {
        const auto at = static_cast<std::uint64_t>(offset) + i;
        bytes[i] = 0; // NOLINT: a buffer of `length` bytes
        for (FakeHandle* disk = handle; disk != nullptr; disk = disk->parent) {
            auto run = disk->held.upper_bound(at);
            if (run == disk->held.begin() || at >= std::prev(run)->first + std::prev(run)->second.first)
                continue;
            bytes[i] = std::prev(run)->second.second; // NOLINT
            if (disk->counter)
                ++*disk->counter;
            break;
        }
    }
    return static_cast<std::int64_t>(length);
}

int fakeMediaSize(FakeHandle* handle, std::uint64_t* size, std::intptr_t** /*error*/)
{
    *size = handle->size;
    return 1;
}

int fakeParentNameSize(FakeHandle* handle, std::size_t* size, std::intptr_t** /*error*/)
{
    *size = handle->parentName.size() + 1;
    return 1;
}

int fakeParentName(FakeHandle* handle, std::uint8_t* text, std::size_t size, std::intptr_t** /*error*/)
{
    if (size < handle->parentName.size() + 1)
        return -1;
    std::copy(handle->parentName.begin(), handle->parentName.end(), text);
    text[handle->parentName.size()] = 0; // NOLINT
    return 1;
}

struct FakeCalls {
    using Error = LibError<fakeErrorFree, fakeErrorSprint>;
    static constexpr auto kSetParent = fakeSetParent;
    static constexpr auto kRead = fakeRead;
    static constexpr auto kMediaSize = fakeMediaSize;
    static constexpr auto kParentNameSize = fakeParentNameSize;
    static constexpr auto kParentName = fakeParentName;
};

struct FakeDisk {
    LibObject<FakeHandle, fakeClose, fakeFree> lib;
};

class FakeImage final : public ChainImage<FakeDisk, FakeCalls> {
public:
    FakeImage() : ChainImage(Format::Vmdk, {"parent disk", "parent", "a child disk", "does not fit it"}) {}

protected:
    std::unique_ptr<FakeDisk> openDisk(const std::string& path, const std::shared_ptr<std::uint64_t>& counter,
                                       std::string& reason) const override
    {
        std::ifstream in(path);
        std::string word;
        if (!(in >> word) || word != "fake") {
            reason = "not a fake disk";
            return nullptr;
        }
        auto disk = std::make_unique<FakeDisk>();
        disk->lib.handle = new FakeHandle; // NOLINT: freed by fakeFree
        ++g_liveHandles;
        disk->lib.open = true;
        ++g_openHandles;
        disk->lib.handle->counter = counter;
        while (in >> word) {
            if (word == "size")
                in >> disk->lib.handle->size;
            else if (word == "parent")
                in >> disk->lib.handle->parentName;
            else if (word == "refuses")
                disk->lib.handle->refusesParent = true;
            else if (word == "held") {
                std::uint64_t offset = 0;
                std::uint64_t length = 0;
                unsigned value = 0;
                in >> offset >> length >> value;
                disk->lib.handle->held[offset] = {length, static_cast<std::uint8_t>(value)};
            }
        }
        return disk;
    }

    std::string kindText(const FakeDisk& disk) const override
    {
        return "fake disk of " + std::to_string(disk.lib.handle->size);
    }
};

class ChainImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("chain-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
        g_liveHandles = 0;
        g_openHandles = 0;
    }
    void TearDown() override
    {
        fs::remove_all(m_dir);
        // Every handle the chain and its probe made was closed and freed.
        EXPECT_EQ(g_liveHandles, 0);
        EXPECT_EQ(g_openHandles, 0);
    }
    /// Writes the fake disk `name`; its path.
    std::string disk(const std::string& name, const std::string& text)
    {
        std::ofstream(m_dir / name) << "fake " << text << "\n";
        return path(name);
    }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

constexpr std::uint64_t kSize = 8 * LibraryImage::kGranule;

TEST_F(ChainImageTest, ReadsThroughItsParentsAndNamesThem)
{
    disk("base.img", "size 524288 held 0 524288 7");
    disk("mid.img", "size 524288 parent base.img held 65536 65536 8");
    // A parent named by a Windows path is found beside its child.
    const std::string child = disk("child.img", "size 524288 parent C:\\vms\\mid.img held 0 4 9");
    {
        FakeImage image;
        std::string error;
        ASSERT_TRUE(image.open(child, error)) << error;
        EXPECT_EQ(image.size(), kSize);
        EXPECT_EQ(image.description(), "fake disk of 524288; media 512 KiB; parent mid.img; parent base.img");
        EXPECT_EQ(image.files(), (std::vector<std::string>{child, path("mid.img"), path("base.img")}));
        std::array<std::byte, 8> bytes{};
        ASSERT_EQ(image.read(0, bytes), sarvik::disk::ReadStatus::Ok);
        EXPECT_EQ(bytes[0], std::byte{9});
        EXPECT_EQ(bytes[4], std::byte{7});
        ASSERT_EQ(image.read(65536, bytes), sarvik::disk::ReadStatus::Ok);
        EXPECT_EQ(bytes[0], std::byte{8});
        EXPECT_EQ(image.read(kSize - 4, bytes), sarvik::disk::ReadStatus::Short);
    }
}

TEST_F(ChainImageTest, ZerosAParentStoresAreNotEmptySpace)
{
    // The parent stores zeros in its second granule and nothing past it; the
    // child stores nothing. Only what no disk of the chain holds is empty.
    disk("base.img", "size 524288 held 65536 65536 0");
    const std::string child = disk("child.img", "size 524288 parent base.img");
    FakeImage image;
    std::string error;
    ASSERT_TRUE(image.open(child, error)) << error;
    EXPECT_EQ(image.knownZeros(0), LibraryImage::kGranule);
    EXPECT_EQ(image.knownZeros(LibraryImage::kGranule), 0U);
    EXPECT_EQ(image.knownZeros(2 * LibraryImage::kGranule), kSize - 2 * LibraryImage::kGranule);
}

TEST_F(ChainImageTest, RefusesAChainItCannotFollow)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files; ///< name and text; the first is opened
        std::string error;
    };
    const std::vector<Case> cases = {
        {"missing parent",
         {{"child.img", "fake size 512 parent mid.img"}, {"mid.img", "fake size 512 parent gone.img"}},
         "a child disk whose parent disk gone.img is not found beside mid.img"},
        {"parent refused",
         {{"child.img", "fake size 512 parent base.img refuses"}, {"base.img", "fake size 512"}},
         "its parent disk " + path("base.img") + " does not fit it: parent refused; unable to link"},
        {"parent not a disk",
         {{"child.img", "fake size 512 parent base.img"}, {"base.img", "plain bytes"}},
         "its parent disk " + path("base.img") + ": not a fake disk"},
        {"a loop",
         {{"a.img", "fake size 512 parent b.img"}, {"b.img", "fake size 512 parent a.img"}},
         "its chain of parent disks is longer than 32"},
        {"the disk itself", {{"raw.img", "plain bytes"}}, "not a fake disk"},
    };
    for (const Case& c : cases) {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        for (const auto& [name, text] : c.files)
            std::ofstream(m_dir / name) << text << "\n";
        const std::string first = path(c.files.front().first);
        std::string error;
        {
            FakeImage image;
            EXPECT_FALSE(image.open(first, error)) << c.what;
            EXPECT_EQ(image.files().front(), first) << c.what;
        }
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(g_liveHandles, 0) << c.what;
    }
}

TEST_F(ChainImageTest, RefusesAParentItsReadWouldBlockOn)
{
    const std::string child = disk("child.img", "size 512 parent base.img");
    ASSERT_EQ(::mkfifo(path("base.img").c_str(), 0600), 0);
    FakeImage image;
    std::string error;
    EXPECT_FALSE(image.open(child, error));
    EXPECT_EQ(error, "its parent disk " + path("base.img") + ": a named pipe (FIFO), not a disk image or block device");
    EXPECT_EQ(image.files(), (std::vector<std::string>{child, path("base.img")}));
}

} // namespace
