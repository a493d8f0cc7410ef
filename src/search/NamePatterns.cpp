#include "search/NamePatterns.h"

#include <algorithm>

namespace sarvik::search {

namespace {

constexpr char kStar = '*';
constexpr char kAnyOne = '?';

[[nodiscard]] bool contains(std::string_view text, char c) noexcept
{
    return text.find(c) != std::string_view::npos;
}

} // namespace

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
int MatchName(std::string_view name, std::string_view pattern)
{
    const std::size_t n = name.size();
    std::size_t p = pattern.size();

    if (n == 0 || p == 0) {
        return 0;
    }
    const bool hasStar = contains(pattern, kStar);
    if (!hasStar && n < p) {
        return 0;
    }
    if (pattern == "*") {
        return 1;
    }
    if (pattern == "*.*") {
        return contains(name, '.') ? 1 : 0;
    }
    if (!hasStar && !contains(pattern, kAnyOne)) {
        return name.find(pattern) != std::string_view::npos ? 1 : 0;
    }

    // A trailing run of stars means the same as one star.
    while (p >= 2 && pattern[p - 1] == kStar && pattern[p - 2] == kStar) {
        --p;
    }
    pattern = pattern.substr(0, p);

    std::string run;        // literal pattern bytes met since the last star
    bool afterStar = false; // a star has been met
    std::size_t i = 0;      // name position; may pass n, never used to read unchecked
    std::size_t j = 0;      // pattern position

    while (j < p) {
        const char c = pattern[j];
        const std::size_t following = p - 1 - j; // pattern bytes after this one
        const bool last = following == 0;

        if (c == kStar) {
            run.clear();
            afterStar = true;
            if (last) {
                return 1;
            }
            // Wildcards straight after the star add nothing to it: skip them.
            std::size_t k = j + 1;
            while (k < p && (pattern[k] == kStar || pattern[k] == kAnyOne)) {
                ++k;
            }
            if (k == p) {
                return 1;
            }
            const bool skippedWildcard = k > j + 1;
            const char d = pattern[k];
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
                const bool found = name.find(d, j + 1) != std::string_view::npos;
                return (!skippedWildcard && dIsLast && found) ? 1 : 0;
            }
            j = k; // carry on with d itself
            continue;
        }

        if (c == kAnyOne) {
            if (last) {
                // The run plus "?" must equal the name's tail of the same length with
                // that tail's last byte taken as "?": compare all but the last byte.
                run.push_back(kAnyOne);
                if (n < run.size()) {
                    return 0;
                }
                const std::string_view tail = name.substr(n - run.size(), run.size() - 1);
                return tail == std::string_view(run).substr(0, run.size() - 1) ? 1 : 0;
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
            if (at == std::string_view::npos) {
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

std::string upperCase8(std::string_view text)
{
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - ('a' - 'A'));
        }
    }
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

bool FilterPatterns::passes(std::string_view fileName) const
{
    if (m_patterns.empty()) {
        return true;
    }
    const std::string upperName = upperCase8(fileName);
    return std::any_of(m_patterns.begin(), m_patterns.end(), [&upperName](const std::string& pattern) {
        return MatchName(upperName, upperCase8(pattern)) == 1;
    });
}

} // namespace sarvik::search
