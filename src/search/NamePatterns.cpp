// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/NamePatterns.h"

#include "catalogue/NameText.h"

#include <algorithm>

namespace sarvik::search {

namespace {

constexpr char kStar = '*';
constexpr char kAnyOne = '?';

template <typename C> [[nodiscard]] bool contains(std::basic_string_view<C> text, C c) noexcept
{
    return text.find(c) != std::basic_string_view<C>::npos;
}

// The walk below follows fixed rules, quirks included; the file filter and the
// find-files search rely on exactly these answers, so do not "fix" it into a glob:
//   - a pattern without wildcards matches any name that contains it;
//   - "*" takes at least one name character, so *A does not match A;
//   - a "?" that is not the pattern's last character may advance the name position
//     only while that position stays within the pattern's length, so *.T?T does not
//     match NOTES.TXT while NOTES.TX? does;
//   - a literal after a star re-synchronises by searching the literals gathered since
//     that star (the run) in the name, starting one byte before the current position;
//   - a pattern ending in a literal after a star compares the run with the name's end.
//
// Every read of the name goes through a bound check: a position past the end counts
// as a byte that differs. The pattern position j only ever grows, so the walk ends
// after at most p steps.
template <typename C> int matchUnits(std::basic_string_view<C> name, std::basic_string_view<C> pattern)
{
    const std::size_t n = name.size();
    std::size_t p = pattern.size();

    if (n == 0 || p == 0) {
        return 0;
    }
    using View = std::basic_string_view<C>;
    const C star = C(kStar);
    const C anyOne = C(kAnyOne);
    const bool hasStar = contains(pattern, star);
    if (!hasStar && n < p) {
        return 0;
    }
    if (p == 1 && pattern[0] == star) {
        return 1;
    }
    if (p == 3 && pattern[0] == star && pattern[1] == C('.') && pattern[2] == star) {
        return contains(name, C('.')) ? 1 : 0;
    }
    if (!hasStar && !contains(pattern, anyOne)) {
        return name.find(pattern) != View::npos ? 1 : 0;
    }

    // A trailing run of stars means the same as one star.
    while (p >= 2 && pattern[p - 1] == star && pattern[p - 2] == star) {
        --p;
    }
    pattern = pattern.substr(0, p);

    std::basic_string<C> run; // literal pattern units met since the last star
    bool afterStar = false;   // a star has been met
    std::size_t i = 0;        // name position; may pass n, never used to read unchecked
    std::size_t j = 0;        // pattern position

    while (j < p) {
        const C c = pattern[j];
        const std::size_t following = p - 1 - j; // pattern bytes after this one
        const bool last = following == 0;

        if (c == star) {
            run.clear();
            afterStar = true;
            if (last) {
                return 1;
            }
            // Wildcards straight after the star add nothing to it: skip them.
            std::size_t k = j + 1;
            while (k < p && (pattern[k] == star || pattern[k] == anyOne)) {
                ++k;
            }
            if (k == p) {
                return 1;
            }
            const bool skippedWildcard = k > j + 1;
            const C d = pattern[k];
            const bool dIsLast = k == p - 1;
            if (skippedWildcard && dIsLast) {
                return name[n - 1] == d ? 1 : 0;
            }
            ++i; // the star takes at least one name byte
            if (i >= n) {
                // The name is used up by the star (i may even have been at n already,
                // as for AB*B against AB). Only a single literal left after a plain star
                // can still match, and only if it occurs in the name at or after the
                // star's own pattern position plus one.
                const bool found = name.find(d, j + 1) != View::npos;
                return (!skippedWildcard && dIsLast && found) ? 1 : 0;
            }
            j = k; // carry on with d itself
            continue;
        }

        if (c == anyOne) {
            if (last) {
                // The run plus "?" must equal the name's tail of the same length with
                // that tail's last byte taken as "?": compare all but the last byte.
                run.push_back(anyOne);
                if (n < run.size()) {
                    return 0;
                }
                const View tail = name.substr(n - run.size(), run.size() - 1);
                return tail == View(run).substr(0, run.size() - 1) ? 1 : 0;
            }
            if (i + 1 > p) {
                return 0;
            }
            if (following >= 2 && i + 1 >= n) {
                return 0;
            }
            ++i;
        } else if (!afterStar) {
            if (j >= n || i >= n || name[i] != c) {
                return 0;
            }
            ++i;
        } else if (i < n && name[i] == c) {
            if (following >= 2 && i + 1 >= n) {
                return 0;
            }
            run.push_back(c);
            if (last) {
                return name.ends_with(run) ? 1 : 0;
            }
            ++i;
        } else {
            run.push_back(c);
            if (last) {
                return name.ends_with(run) ? 1 : 0;
            }
            // After a star i is at least 1; the guard only keeps the subtraction safe.
            const std::size_t from = i == 0 ? 0 : i - 1;
            const std::size_t at = name.find(run, from);
            if (at == View::npos) {
                return 0;
            }
            i = at + run.size();
            if (i >= n) {
                return 0;
            }
        }
        ++j;
    }
    return 1;
}

} // namespace

int MatchName(std::string_view name, std::string_view pattern)
{
    return matchUnits(name, pattern);
}

int MatchName(std::u32string_view name, std::u32string_view pattern)
{
    return matchUnits(name, pattern);
}

namespace {

char32_t upperOf(char32_t c)
{
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if (c == 0x3C2) // final sigma
        return 0x3A3;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    // Latin Extended-A and the Cyrillic supplement hold pairs, capital first;
    // from U+0139 to U+0148 and U+0179 to U+017E the capital is the odd one.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177) || (c >= 0x460 && c <= 0x481) ||
        (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return c & ~char32_t{1};
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return (c & 1) != 0 ? c : c - 1;
    return c;
}

} // namespace

std::u32string upperCaseUtf8(std::string_view text)
{
    std::u32string out = catalogue::decodeUtf8(text);
    for (char32_t& c : out)
        c = upperOf(c);
    return out;
}

const char* addPatternMessage(AddPatternResult result) noexcept
{
    switch (result) {
    case AddPatternResult::Added:
        return nullptr;
    case AddPatternResult::TableFull:
        return kTableFullMessage;
    case AddPatternResult::TooLong:
        return kPatternTooLongMessage;
    case AddPatternResult::Blank:
        return kBlankPatternMessage;
    case AddPatternResult::Duplicate:
        return kDuplicatePatternMessage;
    }
    return nullptr;
}

AddPatternResult FilterPatterns::add(std::string_view text)
{
    if (m_patterns.size() >= kMaxPatterns) {
        return AddPatternResult::TableFull;
    }
    if (text.size() > kMaxPatternLength) {
        return AddPatternResult::TooLong;
    }
    if (text.empty()) {
        return AddPatternResult::Blank;
    }
    if (std::find(m_patterns.begin(), m_patterns.end(), text) != m_patterns.end()) {
        return AddPatternResult::Duplicate;
    }
    m_patterns.emplace_back(text);
    return AddPatternResult::Added;
}

RemovePatternResult FilterPatterns::remove(std::optional<std::string_view> selected)
{
    if (m_patterns.empty()) {
        return RemovePatternResult::TableEmpty;
    }
    if (!selected) {
        return RemovePatternResult::NoSelection;
    }
    const std::string_view text = *selected;
    const auto removed = std::erase_if(m_patterns, [text](const std::string& pattern) { return pattern == text; });
    return removed > 0 ? RemovePatternResult::Removed : RemovePatternResult::NotFound;
}

bool FilterPatterns::passes(std::string_view fileName, bool namesAreUtf8) const
{
    if (m_patterns.empty()) {
        return true;
    }
    if (namesAreUtf8) {
        const std::u32string upperName = upperCaseUtf8(fileName);
        return std::any_of(m_patterns.begin(), m_patterns.end(), [&upperName](const std::string& pattern) {
            return MatchName(upperName, upperCaseUtf8(pattern)) == 1;
        });
    }
    const std::string upperName = upperCase8(fileName);
    return std::any_of(m_patterns.begin(), m_patterns.end(), [&upperName](const std::string& pattern) {
        return MatchName(upperName, upperCase8(pattern)) == 1;
    });
}

} // namespace sarvik::search
