// SPDX-License-Identifier: GPL-3.0-or-later
// The shadow copy catalogue of volumes in memory: one without it (no copies,
// no error), one whose catalogue header is there but damaged, one whose
// source fails its reads. Each gives its reason and none is taken for a
// volume without copies.

#include "container/ShadowCopies.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace sarvik;

namespace {

constexpr std::uint64_t kHeader = 0x1e00;
constexpr std::array<std::uint8_t, 16> kIdentifier{0x6b, 0x87, 0x08, 0x38, 0x76, 0xc1, 0x48, 0x4e,
                                                   0xb7, 0xae, 0x04, 0x04, 0x6e, 0x6c, 0xc7, 0x52};

std::shared_ptr<disk::MemoryBlockSource> volume(std::size_t bytes = 1 << 20)
{
    return std::make_shared<disk::MemoryBlockSource>(std::vector<std::byte>(bytes));
}

/// Writes the catalogue header's identifier, version 1, record type 1 and
/// the given catalogue offset.
void writeHeader(disk::MemoryBlockSource& source, std::uint64_t catalogue)
{
    std::byte* at = source.bytes().data() + kHeader;
    std::memcpy(at, kIdentifier.data(), kIdentifier.size());
    const std::uint32_t one = 1;
    std::memcpy(at + 16, &one, 4);
    std::memcpy(at + 20, &one, 4);
    std::memcpy(at + 24, &kHeader, 8);
    std::memcpy(at + 48, &catalogue, 8);
}

} // namespace

TEST(ShadowCopies, AVolumeWithoutACatalogueHasNoneAndNoError)
{
    const auto none = volume();
    const auto list = container::listShadowCopies(none);
    EXPECT_TRUE(list.copies.empty());
    EXPECT_EQ(list.error, "");
    std::string error;
    EXPECT_EQ(container::openShadowCopy(none, 1, error), nullptr);
    EXPECT_FALSE(error.empty());
    if (container::shadowCopiesReadable()) {
        EXPECT_EQ(error, "the volume has no shadow copies");
    }
}

TEST(ShadowCopies, ADamagedCatalogueIsNamedWithItsReason)
{
    // The header is there; the catalogue it points at is zeros, then past the end.
    for (const std::uint64_t catalogue : {std::uint64_t{0x10000}, std::uint64_t{1} << 40}) {
        const auto damaged = volume();
        writeHeader(*damaged, catalogue);
        const auto list = container::listShadowCopies(damaged);
        EXPECT_TRUE(list.copies.empty()) << catalogue;
        EXPECT_FALSE(list.error.empty()) << catalogue;
        std::string error;
        EXPECT_EQ(container::openShadowCopy(damaged, 1, error), nullptr) << catalogue;
        EXPECT_FALSE(error.empty()) << catalogue;
        if (!container::shadowCopiesReadable()) {
            EXPECT_NE(list.error.find("without libvshadow"), std::string::npos) << list.error;
        }
    }
}

TEST(ShadowCopies, AVolumeThatCannotBeReadIsNotOneWithoutCopies)
{
    if (!container::shadowCopiesReadable())
        GTEST_SKIP() << "this build reads no shadow copies";
    const auto failing = volume();
    writeHeader(*failing, 0x10000);
    failing->addBadRange(kHeader, 512);
    const auto list = container::listShadowCopies(failing);
    EXPECT_TRUE(list.copies.empty());
    EXPECT_FALSE(list.error.empty());
    // Too short to hold the header at all: nothing to list, and no crash.
    EXPECT_TRUE(container::listShadowCopies(volume(4096)).copies.empty());
    EXPECT_TRUE(container::listShadowCopies(nullptr).copies.empty());
}
