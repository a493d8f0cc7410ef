// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Name patterns: the test of one file name against one pattern (MatchName) and
// the table of file-filter patterns that the File Filters dialog edits and that
// the file list and recovery consult.
//
// Patterns may hold "*" and "?". The matcher is deliberately not a general glob:
// a pattern without wildcards is a substring test, "*.*" asks only for a dot,
// and the walk over a pattern with wildcards follows fixed rules of its own (see
// NamePatterns.cpp). Both texts are 8-bit byte strings; the matcher compares bytes
// literally, so callers upper-case both sides first (upperCase8).

#include "catalogue/NameText.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::search {

/// Tests `name` against `pattern`: 1 for a match, 0 otherwise. Comparison is
/// byte for byte, without case folding. An empty name or an empty pattern never
/// matches. Safe for any input, including names read from damaged volumes: it never
/// reads outside either view and always ends.
[[nodiscard]] int MatchName(std::string_view name, std::string_view pattern);

/// The same walk over characters rather than bytes, for names held as UTF-8 (a
/// thorough scan's): a "?" stands for one character. Callers upper-case both
/// sides first (upperCaseUtf8).
[[nodiscard]] int MatchName(std::u32string_view name, std::u32string_view pattern);

/// UTF-8 text as characters with the letters of Latin-1, Latin Extended-A,
/// Greek and Cyrillic upper-cased; here the encoding is known, so folding them
/// is no guess.
[[nodiscard]] std::u32string upperCaseUtf8(std::string_view text);

/// The ASCII upper-casing of 8-bit names (catalogue/NameText.h).
using catalogue::upperCase8;

// Messages of the Add operation. The leading and trailing blanks are part of the
// texts (they centre them in the message box); the wording is kept as the program
// has always shown it.
inline constexpr const char* kTableFullMessage = "      You cannot add more patterns     ";
inline constexpr const char* kPatternTooLongMessage = "      Pattern length exceeds the limit     ";
inline constexpr const char* kBlankPatternMessage = "      Blank entry not allowed     ";
inline constexpr const char* kDuplicatePatternMessage = "      Pattern already exists in the list     ";

/// Outcome of FilterPatterns::add, in the order the checks are made.
enum class AddPatternResult {
    Added,     ///< appended at the end of the table
    TableFull, ///< the table already holds kMaxPatterns patterns
    TooLong,   ///< longer than kMaxPatternLength bytes; the dialog selects the first kMaxPatternLength
    Blank,     ///< the text is empty
    Duplicate, ///< an identical pattern (case matters) is already in the table
};

/// Outcome of FilterPatterns::remove.
enum class RemovePatternResult {
    Removed,     ///< every pattern equal to the selected text was deleted
    TableEmpty,  ///< nothing to remove; the dialog disables its Remove button
    NoSelection, ///< no entry was selected; nothing changed
    NotFound,    ///< the selected text is not in the table; nothing changed
};

/// The message the dialog shows for an add outcome, or nullptr for Added.
[[nodiscard]] const char* addPatternMessage(AddPatternResult result) noexcept;

/// The ordered table of file-filter patterns. Patterns keep the order in which they
/// were added and are compared with each other exactly (case matters), but applied
/// to names without regard to case. An empty table filters nothing.
class FilterPatterns {
public:
    static constexpr std::size_t kMaxPatterns = 99;
    static constexpr std::size_t kMaxPatternLength = 19; ///< in bytes

    /// Validates `text` and appends it. Checks, in order: table full, too long,
    /// blank, already present. The table is unchanged unless the result is Added.
    AddPatternResult add(std::string_view text);

    /// Deletes every pattern equal to `selected` (nullopt: no entry selected), keeping
    /// the order of the others.
    RemovePatternResult remove(std::optional<std::string_view> selected);

    /// Empties the table (done when a scan starts).
    void clear() noexcept { m_patterns.clear(); }

    [[nodiscard]] const std::vector<std::string>& patterns() const noexcept { return m_patterns; }
    [[nodiscard]] std::size_t count() const noexcept { return m_patterns.size(); }
    [[nodiscard]] bool empty() const noexcept { return m_patterns.empty(); }

    /// Whether a file of this name is let through: always when the table is empty,
    /// otherwise when MatchName gives 1 for the upper-cased name and some upper-cased
    /// pattern, trying the patterns in table order; for a catalogue whose names are
    /// UTF-8, over characters (upperCaseUtf8). Folders are never filtered; callers
    /// do not ask for them.
    [[nodiscard]] bool passes(std::string_view fileName, bool namesAreUtf8 = false) const;

private:
    std::vector<std::string> m_patterns;
};

} // namespace sarvik::search
