// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's text helpers: terminal columns, times and sizes.

#include "catalogue/NameDecode.h"
#include "cli/EntryLines.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/Progress.h"
#include "cli/Selection.h"
#include "cli/TextWidth.h"
#include "cli/TimeText.h"
#include "platform/Console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using namespace sarvik::cli;

class CliText : public ::testing::Test {
protected:
    void SetUp() override { sarvik::platform::setUpConsole(); }
};

TEST_F(CliText, ColumnsFollowWcwidth)
{
    EXPECT_EQ(displayWidth("abc"), 3u);
    EXPECT_EQ(displayWidth("e\u0301te\u0301"), 3u); // combining acute accents take no column
    EXPECT_EQ(displayWidth("\u6f22\u5b57"), 4u);    // CJK: two each
    EXPECT_EQ(displayWidth("\U0001F600 x"), 4u);    // emoji: two
    EXPECT_EQ(displayWidth("caf\xe9"), 4u);         // a stray byte counts one, never zero
}

TEST_F(CliText, FittedPadsOrCutsWithAnEllipsis)
{
    EXPECT_EQ(fitted("e\u0301", 3), "e\u0301  ");
    EXPECT_EQ(fitted("abcdef", 4), "abc\u2026");
    // A wide character that would cross the edge is left out and the gap padded.
    EXPECT_EQ(fitted("a\u6f22\u5b57", 4), "a\u6f22\u2026");
    EXPECT_EQ(fitted("\u6f22\u5b57\u6f22", 4), "\u6f22\u2026 ");
    for (const char* name : {"\u6f22\u5b57\u30c6\u30b9\u30c8 long name.txt", "e\u0301\u0301xxxxxxxxxxxxx"})
        EXPECT_EQ(displayWidth(fitted(name, 9)), 9u) << name;
    EXPECT_EQ(rightAligned("12", 4), "  12");
}

TEST_F(CliText, TimesArePaddedIso)
{
    // 2026-12-08 13:07:02: the write time of day counts 2-second steps.
    const std::uint16_t date = ((2026 - 1980) << 9) | (12 << 5) | 8;
    const std::uint16_t time = (13 << 11) | (7 << 5) | 1;
    EXPECT_EQ(fatTimeIso(date, time), "2026-12-08T13:07:02");
    EXPECT_EQ(fatTimeText(date, time), "2026-12-08 13:07:02");
    EXPECT_EQ(fatDateIso(date), "2026-12-08");
    EXPECT_EQ(fatTimeIso(0, time), "");
    EXPECT_EQ(fileTimeIso(133444736000000000ull), "2023-11-14T22:13:20Z");
    EXPECT_EQ(fileTimeIso(133444736001234567ull), "2023-11-14T22:13:20.1234567Z");
    EXPECT_EQ(fileTimeText(133444736001234567ull), "2023-11-14 22:13:20");
    EXPECT_EQ(fileTimeIso(0), "");
    // The ends of the FILETIME range: a fraction of one tick keeps its zeros, a
    // year past 9999 takes a fifth digit, and one past the calendar's 32767 wraps
    // negative, as the text has always been (padded as "%04d" pads).
    EXPECT_EQ(fileTimeIso(1), "1601-01-01T00:00:00.0000001Z");
    EXPECT_EQ(fileTimeIso(116444735999999999ull), "1969-12-31T23:59:59.9999999Z");
    EXPECT_EQ(fileTimeIso(2650467744000000000ull), "10000-01-01T00:00:00Z");
    EXPECT_EQ(fileTimeIso(10000000000000000000ull), "-32247-09-27T01:46:40Z");
    EXPECT_EQ(fileTimeText(~0ull), "-5480-05-28 05:36:10");
}

TEST_F(CliText, JsonLineWritesWhatTheLibraryWrites)
{
    // The line writes plain text and common numbers itself, the rest through
    // the library; where it draws that line must not show in the text.
    const char* texts[] = {
        "",
        "plain.txt",
        "caf\xc3\xa9 \xe5\x86\x99\xe7\x9c\x9f \xf0\x9f\x98\x80", // well-formed UTF-8
        "del\x7f",
        "caf\xe9",          // Windows-1252, not UTF-8
        "\xc0\xaf",         // overlong
        "\xed\xa0\x80",     // a surrogate
        "cut \xe2\x82",     // a sequence cut short
        "\xf5\x80\x80\x80", // past U+10FFFF
        "quote\" back\\slash",
        "tab\tnewline\n\x01",
        // past the first eight bytes, which are looked at together
        "a longer plain name.txt",
        "01234567 \"quote\" in the second word",
        "01234567\\backslash",
        "0123456789abcdef\x1f",
        "0123456789abcdef caf\xc3\xa9",
        "0123456789abcdef caf\xe9",
    };
    for (const char* text : texts) {
        JsonLine line;
        line.add("k", text);
        EXPECT_EQ(line.take(), jsonText(Json{{"k", text}})) << text;
        if (sarvik::catalogue::isValidUtf8(text)) { // what addUtf8 may be given
            line.addUtf8("k", text);
            EXPECT_EQ(line.take(), jsonText(Json{{"k", text}})) << text;
        }
    }
    // Numbers are written in pieces of eight digits: each length, and each
    // piece's edges (a piece of zeros, one of nines), FILETIMEs and the largest.
    std::vector<std::uint64_t> numbers = {0,
                                          7,
                                          99'999'999,
                                          100'000'000,
                                          100'000'001,
                                          1'000'000'000'000'000,
                                          9'999'999'999'999'999,
                                          10'000'000'000'000'000,
                                          133444736001234567ULL,
                                          ~std::uint64_t{0}};
    for (std::uint64_t p = 10; p != 10'000'000'000'000'000'000ULL; p *= 10) {
        numbers.push_back(p - 1);
        numbers.push_back(p);
    }
    numbers.push_back(10'000'000'000'000'000'000ULL);
    std::uint64_t x = 0x9E3779B97F4A7C15ULL;
    for (int k = 0; k < 2000; ++k) {
        x ^= x << 13; // xorshift: numbers of every length and digit
        x ^= x >> 7;
        x ^= x << 17;
        numbers.push_back(x >> (k % 64));
    }
    for (const std::uint64_t n : numbers) {
        JsonLine line;
        line.add("n", n);
        ASSERT_EQ(line.take(), jsonText(Json{{"n", n}})) << n;
    }
    for (const double share : {0.0, 1.0, 0.5, 1.0 / 3.0, 2.0, 1e-9}) {
        JsonLine line;
        line.add("share", share);
        EXPECT_EQ(line.take(), jsonText(Json{{"share", share}})) << share;
    }
}

/// The "files" array of a listing of `s`, written by one thread or two.
std::string fileLines(const sarvik::scan::ScanSession& s, bool twoThreads)
{
    std::FILE* out = std::tmpfile();
    if (out == nullptr)
        return {};
    {
        JsonStream w(out);
        w.beginObject().beginArray("files");
        EntryLines lines(s, {});
        writeFileLines(w, s, {}, lines, twoThreads);
        w.endArray().endObject();
    }
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
}

TEST_F(CliText, FileLinesAreTheSameWrittenByTwoThreads)
{
    // Files in folders, in a lost one and in none, some names needing escapes,
    // over a few chunks and part of another.
    sarvik::scan::ScanSession s;
    s.volume.geometry.GeometryKind = sarvik::disk::VolumeKind::Ntfs;
    auto& c = s.catalogue;
    c.NamesAreUtf8 = true;
    c.AddNtfsFolder("Docs", 64, 5, 1, 2, 0, 0);
    c.AddNtfsFolder("caf\xc3\xa9 \"quoted\"", 65, 64, 3, 4, 0, 1);
    const std::size_t files = 3 * kChunkFiles + 17;
    for (std::uint32_t i = 0; i < files; ++i) {
        c.AddNtfsFile(1000 + i, "file " + std::to_string(i) + (i % 7 == 0 ? "\x01\\.txt" : ".txt"), 100 + i,
                      i % 3 == 0   ? 64
                      : i % 3 == 1 ? 65
                                   : 99,
                      133444736000000000ull + i, 133444736001234567ull, 1, i);
    }
    c.AttachLostFolders(*std::make_unique<sarvik::catalogue::ScanObserver>(),
                        *std::make_unique<sarvik::catalogue::ScanControl>());
    s.buildTree();
    const std::string one = fileLines(s, false);
    EXPECT_EQ(static_cast<std::size_t>(std::count(one.begin(), one.end(), '\n')), files + 4); // and the frame's
    EXPECT_EQ(fileLines(s, true), one);
}

TEST_F(CliText, FilePathsReadFolderNamesAsTheWholePathIs)
{
    // A UTF-8 catalogue in which one folder's name is not UTF-8: every path
    // through it is read as Windows-1252 as a whole, paths beside it stay as
    // they are.
    sarvik::scan::ScanSession s;
    s.volume.geometry.GeometryKind = sarvik::disk::VolumeKind::Ntfs;
    auto& c = s.catalogue;
    c.NamesAreUtf8 = true;
    c.AddNtfsFolder("Docs", 64, 5, 1, 2, 0, 0);
    c.AddNtfsFolder("caf\xe9", 65, 64, 1, 2, 0, 0);
    c.AddNtfsFolder("sub \xc3\xa9", 66, 65, 1, 2, 0, 0);
    c.AddNtfsFolder("ok \xc3\xa9", 67, 64, 1, 2, 0, 0);
    for (const std::uint32_t folder : {67u, 66u, 65u, 64u}) {
        c.AddNtfsFile(1000 + folder, "f" + std::to_string(folder), 100 + folder, folder, 0, 0, 1, 1);
    }
    s.buildTree();
    const std::string lines = fileLines(s, false);
    for (const char* path :
         {"/Docs/ok \xc3\xa9/f67", "/Docs/caf\xc3\xa9/sub \xc3\x83\xc2\xa9/f66", "/Docs/caf\xc3\xa9/f65", "/Docs/f64"})
        EXPECT_NE(lines.find("\"path\":\"" + std::string(path) + "\""), std::string::npos) << path << "\n" << lines;
}

TEST_F(CliText, TimeAndSizeArguments)
{
    EXPECT_EQ(parseTime("2023-11-14T22:13:20Z", false), 1700000000);
    EXPECT_EQ(parseTime("2023-11-14 22:13Z", false), 1699999980);
    EXPECT_EQ(parseTime("2023-11-14Z", true), 1700006399); // --until: the end of the day
    EXPECT_EQ(parseTime("2023-11-14Z", false), 1699920000);
    EXPECT_EQ(parseTime("2024-02-29Z", false), 1709164800);
    for (const char* bad : {"", "2023-11", "2023-13-01", "2023-11-14 25:00", "yesterday", "2023-11-14x", "2026-02-31",
                            "2023-02-29", "2023-04-31"})
        EXPECT_FALSE(parseTime(bad, false)) << bad;

    EXPECT_EQ(parseSize("4096"), 4096u);
    EXPECT_EQ(parseSize("64K"), 65536u);
    EXPECT_EQ(parseSize("1.5M"), 1572864u);
    EXPECT_EQ(parseSize("2G"), 2147483648u);
    for (const char* bad : {"", "-1", "K", "12Q", "1e400", "1e3", "0x10", " 12", "inf", "1.M", "1..5K"})
        EXPECT_FALSE(parseSize(bad)) << bad;
}

// The progress line never reaches the terminal's last column, whatever its
// width; the status gives way first, then the rest of the line.
TEST_F(CliText, ProgressLineFitsTheTerminal)
{
    const std::string status = "Searching free space: 1.2 GB of 59.1 GB, about 12 min left";
    for (const std::size_t columns : {20u, 40u, 60u, 80u, 200u}) {
        const std::string line = progressLine("Scanning", 33, "folders 12  files 3456", status, columns);
        EXPECT_EQ(displayWidth(line), columns - 1) << columns;
    }
    EXPECT_NE(progressLine("Scanning", 33, "folders 1", status, 200).find(status), std::string::npos);
    // Too little room for the phase: the figures stay.
    const std::string narrow = progressLine("Scanning", 33, "folders 1", status, 80);
    EXPECT_EQ(narrow.find("Searching"), std::string::npos);
    EXPECT_NE(narrow.find("1.2 GB"), std::string::npos);
    EXPECT_EQ(progressLine("Scanning", 250, "", "", 80).find("[############] 100%"), 9u);

    // A path too long for the line keeps its end: the file's own name.
    const std::string path = "DCIM/100CAMERA/Holiday in the mountains, second week/IMG_20230814_101112.JPG";
    const std::string cut = progressLine("Recovering", 40, "12.0 MiB of 30.0 MiB  file 3 of 9", path, 100);
    EXPECT_EQ(displayWidth(cut), 99u);
    EXPECT_NE(cut.find("\u2026"), std::string::npos) << cut;
    EXPECT_NE(cut.find("\u2026nd week/IMG_20230814_101112.JPG"), std::string::npos) << cut;
    EXPECT_EQ(cut.find("DCIM"), std::string::npos) << cut;
    // One that fits is shown whole, from its start.
    EXPECT_NE(progressLine("Recovering", 40, "1.0 KiB of 2.0 KiB", path, 200).find(path), std::string::npos);
}

// Sizes as lsblk and df -h give them: binary units, one decimal never rounded up.
TEST_F(CliText, SizesInBinaryUnits)
{
    EXPECT_EQ(iecSize(0), "0 B");
    EXPECT_EQ(iecSize(1023), "1023 B");
    EXPECT_EQ(iecSize(1024), "1.0 KiB");
    EXPECT_EQ(iecSize(1536), "1.5 KiB");
    EXPECT_EQ(iecSize(1024 * 1024 - 1), "1023.9 KiB"); // not "1024.0 KiB"
    EXPECT_EQ(iecSize(272629760), "260.0 MiB");
    EXPECT_EQ(iecSize(64ULL * 1024 * 1024 * 1024 - 1), "63.9 GiB");
    EXPECT_EQ(iecSize(3ULL << 40), "3.0 TiB");
    EXPECT_EQ(iecSize(~0ULL), "15.9 EiB");
}

// An unknown option or command is answered with what was likely meant.
TEST_F(CliText, NearestNamesForAMistypedWord)
{
    const std::vector<std::string> options{"deep", "device", "dry-run", "duplicates", "no-carve", "live", "json"};
    EXPECT_EQ(nearestNames("deeep", options), std::vector<std::string>{"deep"});
    EXPECT_EQ(nearestNames("deeo", options), std::vector<std::string>{"deep"});
    EXPECT_EQ(nearestNames("dveice", options), std::vector<std::string>{"device"}); // two letters swapped
    EXPECT_EQ(nearestNames("jsno", options), std::vector<std::string>{"json"});
    EXPECT_EQ(nearestNames("no-crave", options), std::vector<std::string>{"no-carve"});
    EXPECT_EQ(nearestNames("dr", options), std::vector<std::string>{"dry-run"});
    EXPECT_EQ(nearestNames("de", options), (std::vector<std::string>{"deep", "device"}));
    EXPECT_TRUE(nearestNames("verbosity", options).empty());
    EXPECT_TRUE(nearestNames("x", options).empty());
    EXPECT_TRUE(nearestNames("", options).empty());
    EXPECT_EQ(didYouMean({"deep"}, "--"), " (did you mean --deep?)");
    EXPECT_EQ(didYouMean({"deep", "device", "dry-run"}, "--"), " (did you mean --deep, --device or --dry-run?)");
    EXPECT_EQ(didYouMean({}, "--"), "");
}

} // namespace
