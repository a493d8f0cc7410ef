// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/NamePatterns.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::search {
namespace {

// ---------------------------------------------------------------------------
// MatchName: the reference results on upper-cased texts.

struct MatchCase {
    const char* pattern;
    const char* name;
    int expected;
};

std::ostream& operator<<(std::ostream& os, const MatchCase& c)
{
    return os << "MatchName(\"" << c.name << "\", \"" << c.pattern << "\") == " << c.expected;
}

class MatchNameReference : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchNameReference, GivesTheListedResult)
{
    const MatchCase& c = GetParam();
    EXPECT_EQ(MatchName(c.name, c.pattern), c.expected);
}

const MatchCase kResultsTable[] = {
    {"*.TXT", "NOTES.TXT", 1},
    {"*.TXT", "A.TXT.BAK", 0},
    {"TXT", "NOTES.TXT", 1},
    {"NOTES.TXT", "NOTES", 0},
    {"N*", "NOTES.TXT", 1},
    {"*.*", "NOTES", 0},
    {"A?C", "ABCD", 1},
    {"A?C", "AB", 0},
    {"*A", "A", 0},
    {"*A", "BA", 1},
    {"*?A", "A", 1},
    {"*.T?T", "NOTES.TXT", 0},
    {"NO*S.TXT", "NOTES.TXT", 1},
    {"*OTE*", "NOTES.TXT", 1},
    {"AB*B", "ABB", 0},
    {"AB*B", "ABXB", 1},
    {"NOTES.TX?", "NOTES.TXT", 1},
};

INSTANTIATE_TEST_SUITE_P(ResultsTable, MatchNameReference, ::testing::ValuesIn(kResultsTable));

// ---------------------------------------------------------------------------
// MatchName: edge cases, grouped by the rule they exercise.

TEST(MatchNameEdges, EmptyNameOrPatternNeverMatches)
{
    EXPECT_EQ(MatchName("", "*"), 0);
    EXPECT_EQ(MatchName("", "?"), 0);
    EXPECT_EQ(MatchName("", "*.*"), 0);
    EXPECT_EQ(MatchName("", ""), 0);
    EXPECT_EQ(MatchName("NOTES.TXT", ""), 0);
}

TEST(MatchNameEdges, StarDotStarNeedsADotAnywhere)
{
    EXPECT_EQ(MatchName("NOTES", "*.*"), 0);
    EXPECT_EQ(MatchName("NOTES.TXT", "*.*"), 1);
    EXPECT_EQ(MatchName(".", "*.*"), 1);
    EXPECT_EQ(MatchName("NOTES.", "*.*"), 1);
    EXPECT_EQ(MatchName(".PROFILE", "*.*"), 1);
}

TEST(MatchNameEdges, PlainPatternIsASubstringTest)
{
    EXPECT_EQ(MatchName("NOTES.TXT", "NOTES"), 1); // at the start
    EXPECT_EQ(MatchName("NOTES.TXT", "ES.T"), 1);  // in the middle
    EXPECT_EQ(MatchName("NOTES.TXT", ".TXT"), 1);  // at the end
    EXPECT_EQ(MatchName("NOTES.TXT", "NOTES.TXT"), 1);
    EXPECT_EQ(MatchName("NOTES.TXT", "NOTEZ"), 0);
    EXPECT_EQ(MatchName("NOTES.TXT", "TXTT"), 0);
    EXPECT_EQ(MatchName("DOC", "DOCS"), 0); // pattern longer than the name
}

TEST(MatchNameEdges, ComparesBytesLiterally)
{
    // No case folding inside the matcher: callers upper-case both sides.
    EXPECT_EQ(MatchName("NOTES.TXT", "*.txt"), 0);
    EXPECT_EQ(MatchName("notes.txt", "*.TXT"), 0);
    EXPECT_EQ(MatchName("notes.txt", "*.txt"), 1);
    // Bytes of 128 and above are ordinary bytes.
    EXPECT_EQ(MatchName("CAF\xC9.TXT", "*\xC9.TXT"), 1);
    EXPECT_EQ(MatchName("CAF\xE9.TXT", "*\xC9.TXT"), 0);
    EXPECT_EQ(MatchName("\xFF\xFE.DAT", "\xFF\xFE"), 1);
}

TEST(MatchNameEdges, StarsAloneMatchEveryNonEmptyName)
{
    for (const char* pattern : {"*", "**", "*****"}) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(MatchName("A", pattern), 1);
        EXPECT_EQ(MatchName("NOTES.TXT", pattern), 1);
    }
}

TEST(MatchNameEdges, TrailingStarsCountAsOne)
{
    EXPECT_EQ(MatchName("NOTES.TXT", "N**"), 1);
    EXPECT_EQ(MatchName("MOTES.TXT", "N***"), 0);
    EXPECT_EQ(MatchName("NOTES.TXT", "*OTE***"), 1);
    EXPECT_EQ(MatchName("NOTES.TXT", "*OTX**"), 0);
}

TEST(MatchNameEdges, LiteralsBeforeTheFirstStarAnchorAtTheStart)
{
    EXPECT_EQ(MatchName("NOTES.TXT", "NOTES*"), 1);
    EXPECT_EQ(MatchName("XNOTES.TXT", "NOTES*"), 0);
    EXPECT_EQ(MatchName("NOTE", "NOTES*"), 0); // name ends before the literals do
    EXPECT_EQ(MatchName("ABCD", "A?C*"), 1);
    EXPECT_EQ(MatchName("AXYD", "A?C*"), 0);
}

TEST(MatchNameEdges, StarTakesAtLeastOneByte)
{
    EXPECT_EQ(MatchName("A", "*A"), 0);
    EXPECT_EQ(MatchName("ABB", "AB*B"), 0);
    // The star would have to start past the end of the name.
    EXPECT_EQ(MatchName("AB", "AB*B"), 0);
    EXPECT_EQ(MatchName("AB", "AB*"), 1);
    EXPECT_EQ(MatchName("XA", "*A"), 1);
    EXPECT_EQ(MatchName("XB", "*A"), 0);
}

TEST(MatchNameEdges, WildcardsRightAfterAStarCompareOnlyTheLastByte)
{
    EXPECT_EQ(MatchName("BA", "*?A"), 1);
    EXPECT_EQ(MatchName("AB", "*?A"), 0);
    EXPECT_EQ(MatchName("X", "*??X"), 1);
    EXPECT_EQ(MatchName("X", "*?*X"), 1);
    EXPECT_EQ(MatchName("XY", "*??X"), 0);
    // A pattern that ends among those wildcards matches anything.
    EXPECT_EQ(MatchName("A", "A*?"), 1);
    EXPECT_EQ(MatchName("A", "A*??*?"), 1);
}

TEST(MatchNameEdges, TrailingQuestionMarkAnchorsTheRunAtTheEnd)
{
    EXPECT_EQ(MatchName("Z", "?"), 1);
    EXPECT_EQ(MatchName("AXBC", "A*B?"), 1);
    EXPECT_EQ(MatchName("AXBCD", "A*B?"), 0); // "B?" must be the name's last two bytes
    EXPECT_EQ(MatchName("NOTES.TXT", "NOTES.TX?"), 1);
    EXPECT_EQ(MatchName("NOTES.TXX", "NOTES.T?X"), 1);
    EXPECT_EQ(MatchName("NOTES.TYX", "NOTES.T?X"), 1);
    EXPECT_EQ(MatchName("NOTES.TXY", "NOTES.T?X"), 0);
}

TEST(MatchNameEdges, MiddleQuestionMarkAfterAStar)
{
    // A "?" may advance the name position only while it stays within the pattern's
    // length: the dot of NOTES.TXT lies beyond the five bytes of *.T?T.
    EXPECT_EQ(MatchName("NOTES.TXT", "*.T?T"), 0);
    EXPECT_EQ(MatchName("XA1B", "*A?*"), 1);
    EXPECT_EQ(MatchName("XXXXA1B", "*A?*"), 0);
    // It is not part of the run either, so a final literal compares the run without
    // it with the name's end: *A?B wants the name to end in AB.
    EXPECT_EQ(MatchName("XAB", "*A?B"), 1);
    EXPECT_EQ(MatchName("XA1B", "*A?B"), 0);
    EXPECT_EQ(MatchName("A.TT", "*.T?T"), 1);
    EXPECT_EQ(MatchName("N.TXT", "*.T?T"), 0);
    // With two or more pattern bytes left, the name must have room past the "?".
    EXPECT_EQ(MatchName("AXYB", "A?*B"), 1);
    EXPECT_EQ(MatchName("AX", "A?*B"), 0);
    EXPECT_EQ(MatchName("AX", "?*?X"), 1);
    EXPECT_EQ(MatchName("X", "?*?X"), 0);
}

TEST(MatchNameEdges, LiteralAfterAStarNeedsRoomForTheRest)
{
    // With two or more pattern bytes after a matching literal, the name must go on.
    EXPECT_EQ(MatchName("XAY", "*A*?"), 1);
    EXPECT_EQ(MatchName("XA", "*A*?"), 0);
}

TEST(MatchNameEdges, LastLiteralAfterAStarThatUsesUpTheName)
{
    // The second star takes the name's last byte; the final literal is then looked
    // for from the star's pattern position plus one.
    EXPECT_EQ(MatchName("AAAABC", "*B*C"), 1);
    EXPECT_EQ(MatchName("AAAABD", "*B*C"), 0);
}

TEST(MatchNameEdges, RunAfterAStarIsSearchedFromOneBeforeThePosition)
{
    // The search for "X" starts one byte back, at the name's first byte, so the
    // star ends up taking nothing here.
    EXPECT_EQ(MatchName("XY", "*XY*"), 1);
    EXPECT_EQ(MatchName("AAXY", "*XY*"), 1);
    EXPECT_EQ(MatchName("AAXZ", "*XY*"), 0);
    // The run is found but uses up the name: nothing is left for the rest.
    EXPECT_EQ(MatchName("AAX", "*XY*"), 0);
    EXPECT_EQ(MatchName("AAYY", "*XY*"), 0);
}

TEST(MatchNameEdges, LiteralAfterStarComparesTheRunWithTheNameEnd)
{
    EXPECT_EQ(MatchName("README.DOC", "R*.DOC"), 1);
    EXPECT_EQ(MatchName("README.DOCX", "R*.DOC"), 0);
    EXPECT_EQ(MatchName("A.DOC.DOC", "*.DOC"), 1);
}

TEST(MatchNameEdges, StarDotStarStarIsWalkedNotSpecialCased)
{
    // Only the exact pattern "*.*" is the dot test; "*.**" goes through the walk,
    // where the star must take a byte before the dot's run ends inside the name.
    EXPECT_EQ(MatchName(".", "*.*"), 1);
    EXPECT_EQ(MatchName(".", "*.**"), 0);
    EXPECT_EQ(MatchName("AB.", "*.**"), 0);
    EXPECT_EQ(MatchName("A.B", "*.**"), 1);
}

TEST(MatchNameEdges, StopsAtTheEndOfTheViewsItIsGiven)
{
    // The bytes after each view would make these match if they were read.
    const std::string nameBuffer = "ABB";
    const std::string_view name(nameBuffer.data(), 2);
    EXPECT_EQ(MatchName(name, "AB*B"), 0);
    EXPECT_EQ(MatchName(name, "ABB"), 0);
    EXPECT_EQ(MatchName(name, "*B?"), 0);

    const std::string patternBuffer = "NOTES.TXT";
    const std::string_view pattern(patternBuffer.data(), 5);
    EXPECT_EQ(MatchName("NOTES", pattern), 1);
    EXPECT_EQ(MatchName("NOTEX", std::string_view(patternBuffer.data(), 4)), 1);
    EXPECT_EQ(MatchName("NOTE", pattern), 0);
}

TEST(MatchNameEdges, LongInputsFinish)
{
    const std::string manyStars(5000, '*');
    const std::string longName = std::string(100000, 'B') + "A";
    EXPECT_EQ(MatchName(longName, manyStars + "A"), 1);
    EXPECT_EQ(MatchName(longName, manyStars + "B"), 0);
    EXPECT_EQ(MatchName(longName, manyStars), 1);
    EXPECT_EQ(MatchName(longName, "BA"), 1);
    EXPECT_EQ(MatchName(longName, "AB"), 0);
    EXPECT_EQ(MatchName(longName, std::string(3000, '?')), 1);
    EXPECT_EQ(MatchName(std::string(10, 'A'), std::string(3000, '?')), 0);
    EXPECT_EQ(MatchName(longName, "*" + std::string(3000, 'B') + "*"), 1);
}

// ---------------------------------------------------------------------------
// MatchName on generated input: it must neither crash nor hang, nor read outside
// the views (each text is copied into a heap block of exactly its size, so the
// sanitizer build catches any stray read), and it must keep the properties that
// hold for every input.

/// A byte string in a heap block of exactly its length, with no terminator.
class ExactBuffer {
public:
    explicit ExactBuffer(std::string_view text) : m_size(text.size()), m_bytes(new char[text.size()])
    {
        for (std::size_t k = 0; k < m_size; ++k) {
            m_bytes[k] = text[k];
        }
    }
    [[nodiscard]] std::string_view view() const noexcept { return {m_bytes.get(), m_size}; }

private:
    std::size_t m_size;
    std::unique_ptr<char[]> m_bytes;
};

bool holds(std::string_view text, char c)
{
    return text.find(c) != std::string_view::npos;
}

std::string describePair(std::string_view name, std::string_view pattern)
{
    std::string text = "name \"";
    text += name;
    text += "\" pattern \"";
    text += pattern;
    text += '"';
    return text;
}

void checkProperties(std::string_view name, std::string_view pattern)
{
    const ExactBuffer nameBytes(name);
    const ExactBuffer patternBytes(pattern);
    const int result = MatchName(nameBytes.view(), patternBytes.view());

    ASSERT_TRUE(result == 0 || result == 1) << result;
    ASSERT_EQ(result, MatchName(name, pattern)) << "depends on the storage of the texts";

    if (name.empty() || pattern.empty()) {
        ASSERT_EQ(result, 0);
        return;
    }
    const bool hasStar = holds(pattern, '*');
    const bool hasAnyOne = holds(pattern, '?');
    if (!hasStar && name.size() < pattern.size()) {
        ASSERT_EQ(result, 0);
    }
    if (!hasStar && !hasAnyOne) {
        ASSERT_EQ(result, name.find(pattern) != std::string_view::npos ? 1 : 0);
    }
    if (pattern.find_first_not_of('*') == std::string_view::npos) {
        ASSERT_EQ(result, 1);
    }
    if (pattern == "*.*") {
        ASSERT_EQ(result, holds(name, '.') ? 1 : 0);
    }
    // Literals followed by one star: a prefix test.
    const std::string_view head = pattern.substr(0, pattern.size() - 1);
    if (pattern.size() >= 2 && pattern.back() == '*' && !holds(head, '*') && !holds(head, '?')) {
        ASSERT_EQ(result, name.starts_with(head) ? 1 : 0);
    }
    // One more trailing star changes nothing (the dot test "*.*" is the exception).
    if (pattern.back() == '*' && pattern != "*.*") {
        const std::string longer = std::string(pattern) + "*";
        ASSERT_EQ(MatchName(name, longer), result) << "with the extra star";
    }
}

std::string randomText(std::mt19937& rng, std::string_view alphabet, std::size_t maxLength)
{
    std::uniform_int_distribution<std::size_t> lengthOf(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text(lengthOf(rng), '\0');
    for (char& ch : text) {
        ch = alphabet[pick(rng)];
    }
    return text;
}

TEST(MatchNameRobustness, RandomPairsKeepTheProperties)
{
    struct Alphabets {
        std::string_view pattern;
        std::string_view name;
    };
    const Alphabets sets[] = {
        {"*?.AB", ".AB"},
        {"*?.AB", "*?.AB"}, // names may hold wildcard bytes too
        {"*?A", "AB"},
        {std::string_view("*?.A\0\xFF", 6), std::string_view(".A\0\xFF\x80", 5)},
    };
    std::mt19937 rng(0x5A4B1u); // fixed seed: the same pairs on every run
    std::size_t matches = 0;
    std::size_t calls = 0;
    for (const Alphabets& set : sets) {
        for (int round = 0; round < 50000; ++round) {
            const std::string pattern = randomText(rng, set.pattern, 25);
            const std::string name = randomText(rng, set.name, 25);
            SCOPED_TRACE(describePair(name, pattern));
            ASSERT_NO_FATAL_FAILURE(checkProperties(name, pattern));
            matches += static_cast<std::size_t>(MatchName(name, pattern));
            ++calls;
        }
    }
    // The generator must exercise both outcomes, or the run proves little.
    EXPECT_GT(matches, calls / 100);
    EXPECT_LT(matches, calls - calls / 100);
}

TEST(MatchNameRobustness, EveryShortPairKeepsTheProperties)
{
    // All patterns of up to 4 bytes over "*?.AB" against all names of up to 4 bytes
    // over ".AB": every branch of the walk is reached at its boundaries.
    const auto allTexts = [](std::string_view alphabet, std::size_t maxLength) {
        std::vector<std::string> texts{""};
        std::size_t from = 0;
        for (std::size_t length = 1; length <= maxLength; ++length) {
            const std::size_t to = texts.size();
            for (std::size_t k = from; k < to; ++k) {
                for (char ch : alphabet) {
                    texts.push_back(texts[k] + ch);
                }
            }
            from = to;
        }
        return texts;
    };
    const std::vector<std::string> patterns = allTexts("*?.AB", 4);
    const std::vector<std::string> names = allTexts(".AB", 4);
    ASSERT_EQ(patterns.size(), 781u);
    ASSERT_EQ(names.size(), 121u);
    for (const std::string& pattern : patterns) {
        for (const std::string& name : names) {
            SCOPED_TRACE(describePair(name, pattern));
            ASSERT_NO_FATAL_FAILURE(checkProperties(name, pattern));
        }
    }
}

// ---------------------------------------------------------------------------
// upperCase8

TEST(UpperCase8, FoldsOnlyAsciiLetters)
{
    EXPECT_EQ(upperCase8("notes.txt"), "NOTES.TXT");
    EXPECT_EQ(upperCase8("MiXeD 09"), "MIXED 09");
    // The bytes either side of a-z ("`" and "{") stay as they are.
    EXPECT_EQ(upperCase8("`az{"), "`AZ{");
    EXPECT_EQ(upperCase8(""), "");
}

TEST(UpperCase8, LeavesHighBytesAndNulUnchanged)
{
    const std::string_view text("caf\xE9\0\xFF\x80\xC9x", 9);
    const std::string upper = upperCase8(text);
    ASSERT_EQ(upper.size(), 9u);
    EXPECT_EQ(upper, std::string_view("CAF\xE9\0\xFF\x80\xC9X", 9));
}

// ---------------------------------------------------------------------------
// FilterPatterns: adding

std::string numbered(std::size_t k)
{
    return "*." + std::to_string(k);
}

TEST(FilterPatternsAdd, KeepsPatternsInTheOrderAdded)
{
    FilterPatterns table;
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.add("*.TXT"), AddPatternResult::Added);
    EXPECT_EQ(table.add("A*"), AddPatternResult::Added);
    EXPECT_EQ(table.add("*.DOC"), AddPatternResult::Added);
    EXPECT_FALSE(table.empty());
    EXPECT_EQ(table.count(), 3u);
    EXPECT_EQ(table.patterns(), (std::vector<std::string>{"*.TXT", "A*", "*.DOC"}));
}

TEST(FilterPatternsAdd, AcceptsNinetyNinePatternsAndRefusesTheHundredth)
{
    FilterPatterns table;
    for (std::size_t k = 1; k <= FilterPatterns::kMaxPatterns; ++k) {
        ASSERT_EQ(table.add(numbered(k)), AddPatternResult::Added) << k;
    }
    ASSERT_EQ(table.count(), 99u);
    EXPECT_EQ(table.add(numbered(100)), AddPatternResult::TableFull);
    // A full table is reported before anything is wrong with the text itself.
    EXPECT_EQ(table.add(""), AddPatternResult::TableFull);
    EXPECT_EQ(table.add(std::string(40, 'X')), AddPatternResult::TableFull);
    EXPECT_EQ(table.add(numbered(1)), AddPatternResult::TableFull);
    EXPECT_EQ(table.count(), 99u);
    EXPECT_EQ(table.patterns().back(), numbered(99));

    // Removing one makes room again.
    EXPECT_EQ(table.remove(numbered(50)), RemovePatternResult::Removed);
    EXPECT_EQ(table.add(numbered(100)), AddPatternResult::Added);
    EXPECT_EQ(table.patterns().back(), numbered(100));
}

TEST(FilterPatternsAdd, LimitsTheLengthToNineteenBytes)
{
    FilterPatterns table;
    const std::string nineteen(19, 'N');
    EXPECT_EQ(table.add(nineteen), AddPatternResult::Added);
    EXPECT_EQ(table.add(std::string(20, 'T')), AddPatternResult::TooLong);
    EXPECT_EQ(table.add(std::string(299, 'T')), AddPatternResult::TooLong);
    // The length is counted in bytes.
    EXPECT_EQ(table.add(std::string(20, '\xE9')), AddPatternResult::TooLong);
    EXPECT_EQ(table.patterns(), std::vector<std::string>{nineteen});
}

TEST(FilterPatternsAdd, RefusesBlankAndDuplicateEntries)
{
    FilterPatterns table;
    EXPECT_EQ(table.add(""), AddPatternResult::Blank);
    EXPECT_TRUE(table.empty());

    EXPECT_EQ(table.add("*.TXT"), AddPatternResult::Added);
    EXPECT_EQ(table.add("*.TXT"), AddPatternResult::Duplicate);
    // Patterns are compared exactly: case and blanks make a different entry.
    EXPECT_EQ(table.add("*.txt"), AddPatternResult::Added);
    EXPECT_EQ(table.add("*.TXT "), AddPatternResult::Added);
    EXPECT_EQ(table.add("*.txt"), AddPatternResult::Duplicate);
    EXPECT_EQ(table.patterns(), (std::vector<std::string>{"*.TXT", "*.txt", "*.TXT "}));
}

TEST(FilterPatternsAdd, EachRefusalHasItsMessage)
{
    EXPECT_EQ(addPatternMessage(AddPatternResult::Added), nullptr);
    EXPECT_STREQ(addPatternMessage(AddPatternResult::TableFull), kTableFullMessage);
    EXPECT_STREQ(addPatternMessage(AddPatternResult::TooLong), kPatternTooLongMessage);
    EXPECT_STREQ(addPatternMessage(AddPatternResult::Blank), kBlankPatternMessage);
    EXPECT_STREQ(addPatternMessage(AddPatternResult::Duplicate), kDuplicatePatternMessage);
}

// ---------------------------------------------------------------------------
// FilterPatterns: removing and clearing

TEST(FilterPatternsRemove, DeletesTheSelectedPatternAndKeepsTheOrder)
{
    FilterPatterns table;
    for (const char* pattern : {"*.A", "*.B", "*.C", "*.D"}) {
        ASSERT_EQ(table.add(pattern), AddPatternResult::Added);
    }
    EXPECT_EQ(table.remove("*.B"), RemovePatternResult::Removed);
    EXPECT_EQ(table.patterns(), (std::vector<std::string>{"*.A", "*.C", "*.D"}));
    EXPECT_EQ(table.remove("*.D"), RemovePatternResult::Removed);
    EXPECT_EQ(table.remove("*.A"), RemovePatternResult::Removed);
    EXPECT_EQ(table.patterns(), std::vector<std::string>{"*.C"});

    // A removed pattern can be added again and goes to the end.
    EXPECT_EQ(table.add("*.A"), AddPatternResult::Added);
    EXPECT_EQ(table.patterns(), (std::vector<std::string>{"*.C", "*.A"}));
}

TEST(FilterPatternsRemove, ChangesNothingWithoutAMatchingSelection)
{
    FilterPatterns table;
    EXPECT_EQ(table.remove(std::nullopt), RemovePatternResult::TableEmpty);
    EXPECT_EQ(table.remove("*.TXT"), RemovePatternResult::TableEmpty);

    ASSERT_EQ(table.add("*.TXT"), AddPatternResult::Added);
    ASSERT_EQ(table.add("*.DOC"), AddPatternResult::Added);
    const std::vector<std::string> before = table.patterns();
    EXPECT_EQ(table.remove(std::nullopt), RemovePatternResult::NoSelection);
    EXPECT_EQ(table.remove("*.txt"), RemovePatternResult::NotFound); // exact comparison
    EXPECT_EQ(table.remove(""), RemovePatternResult::NotFound);
    EXPECT_EQ(table.patterns(), before);

    EXPECT_EQ(table.remove("*.TXT"), RemovePatternResult::Removed);
    EXPECT_EQ(table.remove("*.DOC"), RemovePatternResult::Removed);
    EXPECT_EQ(table.remove("*.DOC"), RemovePatternResult::TableEmpty);
}

TEST(FilterPatternsRemove, ClearEmptiesTheTable)
{
    FilterPatterns table;
    ASSERT_EQ(table.add("*.TXT"), AddPatternResult::Added);
    ASSERT_EQ(table.add("*.DOC"), AddPatternResult::Added);
    table.clear();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(table.count(), 0u);
    EXPECT_TRUE(table.passes("photo.jpg"));
    EXPECT_EQ(table.add("*.TXT"), AddPatternResult::Added);
}

// ---------------------------------------------------------------------------
// FilterPatterns: filtering

TEST(FilterPatternsPasses, EmptyTableLetsEverythingThrough)
{
    const FilterPatterns table;
    EXPECT_TRUE(table.passes("notes.txt"));
    EXPECT_TRUE(table.passes("NO EXTENSION"));
    EXPECT_TRUE(table.passes(""));
}

TEST(FilterPatternsPasses, FileNeedsToMatchOnePattern)
{
    FilterPatterns table;
    ASSERT_EQ(table.add("*.DOC"), AddPatternResult::Added);
    ASSERT_EQ(table.add("*.TXT"), AddPatternResult::Added);
    EXPECT_TRUE(table.passes("a.doc"));
    EXPECT_TRUE(table.passes("b.txt"));
    EXPECT_FALSE(table.passes("c.jpg"));
    EXPECT_FALSE(table.passes("d.docx"));
    EXPECT_FALSE(table.passes(""));
}

TEST(FilterPatternsPasses, IgnoresCaseOfNameAndPattern)
{
    FilterPatterns lower;
    ASSERT_EQ(lower.add("*.txt"), AddPatternResult::Added);
    FilterPatterns upper;
    ASSERT_EQ(upper.add("*.TXT"), AddPatternResult::Added);
    for (const char* name : {"notes.txt", "NOTES.TXT", "Notes.Txt"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(lower.passes(name));
        EXPECT_TRUE(upper.passes(name));
    }
    EXPECT_FALSE(lower.passes("notes.txd"));
    EXPECT_FALSE(upper.passes("notes.txd"));
    // Bytes above 127 are not folded: an accented lower-case letter stays distinct.
    FilterPatterns accented;
    ASSERT_EQ(accented.add("caf\xE9*"), AddPatternResult::Added);
    EXPECT_TRUE(accented.passes("CAF\xE9.TXT"));
    EXPECT_FALSE(accented.passes("CAF\xC9.TXT"));
}

TEST(FilterPatternsPasses, PlainPatternPassesNamesThatContainIt)
{
    FilterPatterns table;
    ASSERT_EQ(table.add("doc"), AddPatternResult::Added);
    EXPECT_TRUE(table.passes("MyDocuments.zip"));
    EXPECT_TRUE(table.passes("readme.doc"));
    EXPECT_FALSE(table.passes("readme.txt"));
}

TEST(FilterPatternsPasses, LaterPatternsAreTriedWhenEarlierOnesFail)
{
    FilterPatterns table;
    for (const char* pattern : {"*.A", "*.B", "*.C"}) {
        ASSERT_EQ(table.add(pattern), AddPatternResult::Added);
    }
    EXPECT_TRUE(table.passes("x.a"));
    EXPECT_TRUE(table.passes("x.c"));
    EXPECT_FALSE(table.passes("x.d"));
}

// Names held as UTF-8 are matched over characters: every row of the results
// table gives the same answer as over bytes (for ASCII the walks are one), a
// "?" stands for one character however many bytes it takes, and case is folded
// for accented, Greek and Cyrillic letters too.
TEST(MatchNameUtf8, SameRulesOverCharacters)
{
    for (const MatchCase& c : kResultsTable)
        EXPECT_EQ(MatchName(upperCaseUtf8(c.name), upperCaseUtf8(c.pattern)), c.expected) << c;

    auto matches = [](std::string_view name, std::string_view pattern) {
        return MatchName(upperCaseUtf8(name), upperCaseUtf8(pattern));
    };
    EXPECT_EQ(matches("Caf\xC3\xA9 menu.txt", "Caf? menu.txt"), 1);
    EXPECT_EQ(MatchName(upperCase8("Caf\xC3\xA9 menu.txt"), upperCase8("Caf? menu.txt")), 0)
        << "over bytes the accented letter is two";
    EXPECT_EQ(matches("Caf\xC3\xA9 menu.txt", "CAF\xC3\x89*"), 1);
    // "Отчёт за май.txt" against "отчёт*" and "ОТЧЁТ*"
    const std::string report = "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xD0\xB7\xD0\xB0 \xD0\xBC\xD0\xB0\xD0\xB9.txt";
    EXPECT_EQ(matches(report, "\xD0\xBE\xD1\x82\xD1\x87\xD1\x91\xD1\x82*"), 1);
    EXPECT_EQ(matches(report, "\xD0\x9E\xD0\xA2\xD0\xA7\xD0\x81\xD0\xA2*"), 1);
    EXPECT_EQ(matches(report, "*.TXT"), 1);
    EXPECT_EQ(matches(report, "???? *"), 0) << "the first word has five letters";
    EXPECT_EQ(matches(report, "????? *"), 1);
    // Greek final sigma folds with sigma; Latin Extended-A pairs fold.
    EXPECT_EQ(
        matches("\xCF\x84\xCE\xB5\xCF\x83\xCF\x84\xCE\xBF\xCF\x82", "\xCE\xA4\xCE\x95\xCE\xA3\xCE\xA4\xCE\x9F\xCE\xA3"),
        1);
    EXPECT_EQ(matches("\xC5\x82\xC3\xB3"
                      "d\xC5\xBA",
                      "\xC5\x81\xC3\x93"
                      "D\xC5\xB9"),
              1); // łódź / ŁÓDŹ
    // Bytes that are not UTF-8 stay distinct from each other and from any letter.
    EXPECT_EQ(matches("a\xE9"
                      "b",
                      "A\xE9"
                      "B"),
              1);
    EXPECT_EQ(matches("a\xE9"
                      "b",
                      "A\xE8"
                      "B"),
              0);
    EXPECT_EQ(matches("a\xE9"
                      "b",
                      "A\xC3\xA9"
                      "B"),
              0);
}

TEST(FilterPatternsPasses, Utf8NamesAreFilteredOverCharacters)
{
    FilterPatterns table;
    ASSERT_EQ(table.add("caf\xC3\xA9*"), AddPatternResult::Added);
    EXPECT_TRUE(table.passes("CAF\xC3\x89 PLAN.TXT", true));
    EXPECT_FALSE(table.passes("CAF\xC3\x89 PLAN.TXT", false)) << "over bytes only ASCII is folded";
    EXPECT_TRUE(table.passes("caf\xC3\xA9 plan.txt", false));
    EXPECT_FALSE(table.passes("cafe plan.txt", true));
}

} // namespace
} // namespace sarvik::search
