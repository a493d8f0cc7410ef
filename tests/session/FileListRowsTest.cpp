// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/FileListRows.h"
#include "session/DisplayText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sarvik::session {
namespace {

std::vector<std::string> presented(const FileListRows& rows, int column = Name)
{
    std::vector<std::string> out;
    for (std::size_t p = 0; p < rows.size(); ++p)
        out.push_back(rows.text(rows.rowAt(static_cast<int>(p)), column));
    return out;
}

catalogue::FileRow fileRow(std::string name, std::uint64_t size, std::string modified, std::uint64_t key)
{
    catalogue::FileRow r;
    r.name = std::move(name);
    r.type = "Deleted ";
    r.size = size;
    r.modified = std::move(modified);
    r.key = key;
    r.id = std::to_string(key);
    return r;
}

catalogue::FileRow folderRow(std::string name, std::uint64_t key)
{
    catalogue::FileRow r;
    r.folder = true;
    r.name = std::move(name);
    r.type = "Folder";
    r.key = key;
    r.id = std::to_string(key);
    return r;
}

std::vector<catalogue::FileRow> mixedRows()
{
    return {fileRow("file10.txt", 300, "31-12-2019 23:59:58", 7), folderRow("zeta", 3),
            fileRow("File2.txt", 5'000'000, "2-1-2020 0:0:0", 5), fileRow("file1.doc", 20, "15-6-2018 1:2:4", 9),
            folderRow("Alpha", 4)};
}

TEST(FileListRows, SortsFoldersFirstInEitherOrderAndRestoresTheCatalogueOrder)
{
    FileListRows rows;
    rows.setRows(mixedRows(), true);
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"file10.txt", "zeta", "File2.txt", "file1.doc", "Alpha"}));

    // Names as people read them: without case, digits by value.
    ASSERT_TRUE(rows.sort(Name, SortOrder::Ascending));
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"Alpha", "zeta", "file1.doc", "File2.txt", "file10.txt"}));
    EXPECT_FALSE(rows.sort(Name, SortOrder::Ascending)); // in force already
    rows.sort(Name, SortOrder::Descending);
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"zeta", "Alpha", "file10.txt", "File2.txt", "file1.doc"}));

    // Sizes by value, not by their text ("20" < "300" < "5000000").
    rows.sort(Size, SortOrder::Ascending);
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"zeta", "Alpha", "file1.doc", "file10.txt", "File2.txt"}));
    // Dates by the day they name, not by their text ("2-1-2020" after "31-12-2019").
    rows.sort(Modified, SortOrder::Descending);
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"zeta", "Alpha", "File2.txt", "file10.txt", "file1.doc"}));
    rows.sort(Id, SortOrder::Ascending);
    // Folders are numbered apart from files: theirs carry a D.
    EXPECT_EQ(presented(rows, Id), (std::vector<std::string>{"D3", "D4", "5", "7", "9"}));
    FileListRows alike;
    alike.setRows({folderRow("Old", 5), fileRow("old.txt", 1, "", 5)}, true);
    EXPECT_NE(alike.text(0, Id), alike.text(1, Id));

    // Positions and rows stay each other's inverse.
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(rows.rowAt(rows.positionOf(row)), row);
    EXPECT_EQ(rows.rowAt(5), -1);
    EXPECT_EQ(rows.positionOf(-1), -1);

    rows.sort(-1);
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"file10.txt", "zeta", "File2.txt", "file1.doc", "Alpha"}));

    // New rows come in the order in force.
    rows.sort(Size, SortOrder::Descending);
    rows.setRows({fileRow("a", 1, "", 1), fileRow("b", 3, "", 2), fileRow("c", 2, "", 3)}, true);
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"b", "c", "a"}));
}

TEST(FileListRows, ConditionOrderAndTexts)
{
    std::vector<catalogue::FileRow> source = {fileRow("over", 1, "", 1), fileRow("unknown", 1, "", 2),
                                              fileRow("good", 1, "", 3), fileRow("part", 1, "", 4),
                                              folderRow("dir", 5)};
    source[0].condition = "Overwritten";
    source[2].condition = "Good";
    source[3].condition = "Partly overwritten";
    FileListRows rows;
    rows.setRows(source, true);
    // A file without an estimate says so; a folder has no condition.
    EXPECT_EQ(rows.text(1, Condition), "Unknown");
    EXPECT_EQ(rows.text(4, Condition), "");
    rows.sort(Condition, SortOrder::Ascending);
    EXPECT_EQ(presented(rows), (std::vector<std::string>{"dir", "good", "part", "over", "unknown"}));
    EXPECT_EQ(rows.text(9, Name), ""); // out of range
    EXPECT_EQ(rows.text(0, ColumnCount), "");
}

TEST(FileListRows, TypesAreLookedUpWhenShownAndFollowARename)
{
    int lookups = 0;
    FileListRows rows([&lookups](const std::string& name) {
        ++lookups;
        return name.ends_with(".txt") ? std::string("Text") : std::string("Other");
    });
    rows.setRows(mixedRows(), true, FileListRows::TypeNames::Pending);
    EXPECT_EQ(lookups, 0); // nothing shown yet
    EXPECT_EQ(rows.text(0, Type), "Deleted Text");
    EXPECT_EQ(rows.text(0, Type), "Deleted Text");
    EXPECT_EQ(lookups, 1);                   // kept once looked up
    EXPECT_EQ(rows.text(1, Type), "Folder"); // a folder is not looked up
    EXPECT_EQ(lookups, 1);

    rows.setName(0, "file10.bin");
    EXPECT_EQ(rows.text(0, Name), "file10.bin");
    EXPECT_EQ(rows.text(0, Type), "Deleted Other");

    // Sorting by type looks every row up, then orders by the texts.
    rows.sort(Type, SortOrder::Ascending);
    EXPECT_EQ(presented(rows, Type),
              (std::vector<std::string>{"Folder", "Folder", "Deleted Other", "Deleted Other", "Deleted Text"}));
}

TEST(FileListRows, LongestTextsAndEightBitNames)
{
    FileListRows rows;
    EXPECT_EQ(rows.longestRow(Name), -1);
    std::vector<catalogue::FileRow> source = mixedRows();
    source[3].name = "caf\xE9"; // Windows-1252
    rows.setRows(source, false);
    EXPECT_EQ(rows.text(3, Name), "caf\xC3\xA9");
    EXPECT_EQ(rows.longestRow(Size), 2); // the largest size has the most digits
    EXPECT_EQ(rows.longestRow(Name), 0);
    EXPECT_EQ(rows.longestRow(Modified), 0);
    rows.setName(4, "a much longer folder name");
    EXPECT_EQ(rows.longestRow(Name), 4);
    EXPECT_EQ(rows.longestRow(ColumnCount), -1);
}

TEST(FileListRows, NaturalCompareAndDateOrder)
{
    EXPECT_LT(naturalCompare("a2", "a10"), 0);
    EXPECT_LT(naturalCompare("a002", "a10"), 0);
    EXPECT_EQ(naturalCompare("README", "readme"), 0);
    EXPECT_EQ(naturalCompare("a01", "a1"), 0);
    EXPECT_GT(naturalCompare("ab", "a"), 0);
    EXPECT_LT(naturalCompare("", "a"), 0);
    EXPECT_LT(naturalCompare("a9z", "a10a"), 0);
    // A run of digits longer than any integer still compares by value.
    EXPECT_LT(naturalCompare("x99999999999999999999999", "x100000000000000000000000"), 0);
    EXPECT_EQ(naturalRanks({"b", "A", "a", "c10", "c9"}), (std::vector<std::size_t>{1, 0, 0, 3, 2}));

    EXPECT_LT(dateOrder("31-12-2019"), dateOrder("1-1-2020"));
    EXPECT_LT(dateOrder("1-1-2020 9:59:59"), dateOrder("1-1-2020 10:0:0"));
    EXPECT_EQ(dateOrder(""), 0u);
}

TEST(DisplayText, ReorderingCharactersShowAsTheirCodes)
{
    // "photo<RLO>gpj.exe" would show as "photoexe.jpg".
    EXPECT_EQ(displayName("photo\xE2\x80\xAEgpj.exe", true), "photo<U+202E>gpj.exe");
    EXPECT_EQ(displayName("a\xE2\x81\xA6"
                          "b",
                          true),
              "a<U+2066>b");
    EXPECT_EQ(displayName("\xE2\x82\xAC.txt", true), "\xE2\x82\xAC.txt"); // the euro sign stays
    EXPECT_EQ(displayName("\x80.txt", false), "\xE2\x82\xAC.txt");        // Windows-1252's euro

    EXPECT_EQ(filterNote({}, true), "");
    EXPECT_EQ(filterNote({"*.jpg", "*.png"}, true),
              "File filter in force: only files named *.jpg, *.png are listed and recovered");
}

} // namespace
} // namespace sarvik::session
