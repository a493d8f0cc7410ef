// SPDX-License-Identifier: GPL-3.0-or-later
#include "ntfs/NtfsCompressed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace sarvik;

namespace {

std::vector<std::byte> bytes(std::initializer_list<unsigned> values)
{
    std::vector<std::byte> b;
    for (const unsigned v : values)
        b.push_back(std::byte(static_cast<unsigned char>(v)));
    return b;
}

std::string text(const std::vector<std::byte>& out, std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(out[i]));
    return s;
}

} // namespace

TEST(Lznt1, LiteralsBackReferencesAndStoredChunks)
{
    // Compressed chunk: flags 0x08 = three literals then a reference. At output
    // position 3 the token splits 4 offset bits / 12 length bits: offset 3, length 9.
    const auto compressed = bytes({0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20});
    std::vector<std::byte> out(64);
    const auto n = ntfs::Lznt1Decompress(compressed, out);
    ASSERT_TRUE(n);
    EXPECT_EQ(text(out, *n), "abcabcabcabc");

    // A stored chunk (top bit clear) of 3 bytes, then the end header.
    const auto stored = bytes({0x02, 0x30, 'x', 'y', 'z', 0x00, 0x00});
    const auto m = ntfs::Lznt1Decompress(stored, out);
    ASSERT_TRUE(m);
    EXPECT_EQ(text(out, *m), "xyz");

    // A chunk that is followed by another is padded to 4 KiB first.
    std::vector<std::byte> two = bytes({0x00, 0x30, 'p'});
    two.insert(two.end(), {std::byte{0x00}, std::byte{0x30}, std::byte{'q'}});
    std::vector<std::byte> big(8192);
    const auto k = ntfs::Lznt1Decompress(two, big);
    ASSERT_TRUE(k);
    EXPECT_EQ(*k, 4097u);
    EXPECT_EQ(big[0], std::byte{'p'});
    EXPECT_EQ(big[1], std::byte{0});
    EXPECT_EQ(big[4096], std::byte{'q'});
}

TEST(Lznt1, WideOffsetsLaterInTheChunk)
{
    // 17 literals, then a reference at position 17: 5 offset bits, 11 length bits.
    // Offset 17 (stored 16), length 5 (stored 2): 0x8002.
    std::vector<std::byte> in = bytes({0x00, 0x00}); // header patched below
    const std::string lit = "0123456789ABCDEFG";
    for (std::size_t group = 0; group < 3; ++group) {
        const std::size_t from = group * 8;
        if (group < 2) {
            in.push_back(std::byte{0});
            for (std::size_t i = from; i < from + 8; ++i)
                in.push_back(std::byte(static_cast<unsigned char>(lit[i])));
        } else {
            in.push_back(std::byte{0x02}); // literal 'G', then a reference
            in.push_back(std::byte{'G'});
            in.push_back(std::byte{0x02});
            in.push_back(std::byte{0x80});
        }
    }
    const std::size_t chunk = in.size() - 2;
    in[0] = std::byte(static_cast<unsigned char>((chunk - 1) & 0xFF));
    in[1] = std::byte(static_cast<unsigned char>(0xB0 | ((chunk - 1) >> 8)));
    std::vector<std::byte> out(64);
    const auto n = ntfs::Lznt1Decompress(in, out);
    ASSERT_TRUE(n);
    EXPECT_EQ(text(out, *n), lit + "01234");
}

TEST(Lznt1, DamageIsReportedNotFollowed)
{
    std::vector<std::byte> out(64);
    // A reference as the very first item points before the chunk.
    EXPECT_FALSE(ntfs::Lznt1Decompress(bytes({0x02, 0xB0, 0x01, 0x00, 0x10}), out));
    // A reference reaching back further than the output so far.
    EXPECT_FALSE(ntfs::Lznt1Decompress(bytes({0x04, 0xB0, 0x02, 'a', 0x00, 0x50}), out));
    // A header that claims more bytes than there are.
    EXPECT_FALSE(ntfs::Lznt1Decompress(bytes({0xFF, 0xBF, 0x00, 'a'}), out));
    // Output larger than the buffer is cut, never written past it.
    std::vector<std::byte> small(4);
    const auto n = ntfs::Lznt1Decompress(bytes({0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20}), small);
    ASSERT_TRUE(n);
    EXPECT_EQ(*n, 4u);
}
