// SPDX-License-Identifier: GPL-3.0-or-later
// Plain text has no signature: a unit is taken for the start of a text file
// when its first bytes read as text (UTF-8 without control characters but tab,
// line feed, form feed and carriage return, or UTF-16 after its byte order
// mark), and the file ends where the text does. What the text is (HTML, XML,
// JSON, CSV or plain text) is told from its first and last characters and its
// lines.

#include "carve/FileFormats.h"
#include "carve/WalkResults.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace sarvik::carve {

namespace {

/// Text shorter than this is too little to tell from other bytes.
constexpr std::uint64_t kMinTextBytes = 32;
/// Bytes looked at, at most, to tell the kind of text.
constexpr std::size_t kSniffBytes = 4096;
constexpr std::size_t kStep = std::size_t{64} << 10;

enum class Encoding { Utf8, Utf16Le, Utf16Be };

bool isTextControl(std::uint32_t c)
{
    return c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

/// The length of the UTF-8 sequence that `lead` starts (2 to 4), or 0.
std::size_t sequenceLength(std::uint8_t lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

/// How many bytes of `bytes` from `at` are one text character: 0 when they
/// are not text; `cut` when a sequence runs past the end (not known yet).
std::size_t textCharacter(disk::ByteSpan bytes, std::size_t at, bool& cut)
{
    const auto lead = std::to_integer<std::uint8_t>(bytes[at]);
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7F ? 1 : (isTextControl(lead) ? 1 : 0);
    const std::size_t n = sequenceLength(lead);
    if (n == 0)
        return 0;
    if (at + n > bytes.size()) {
        cut = true;
        return 0;
    }
    for (std::size_t i = 1; i < n; ++i)
        if ((std::to_integer<std::uint8_t>(bytes[at + i]) & 0xC0) != 0x80)
            return 0;
    // Overlong three-byte forms and UTF-16 surrogates are not text.
    const auto second = std::to_integer<std::uint8_t>(bytes[at + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second >= 0x90))
        return 0;
    return n;
}

/// The bytes of `bytes` that are UTF-8 text from the start; `cut` when the
/// text runs to their end (possibly in the middle of a character).
std::size_t utf8Run(disk::ByteSpan bytes, bool& cut)
{
    std::size_t at = 0;
    cut = false;
    while (at < bytes.size()) {
        const std::size_t n = textCharacter(bytes, at, cut);
        if (n == 0)
            return at;
        at += n;
    }
    cut = true;
    return at;
}

/// The same for UTF-16 units: text characters, and surrogates in pairs.
std::size_t utf16Run(disk::ByteSpan bytes, bool bigEndian, bool& cut)
{
    const auto unit = [&](std::size_t at) {
        const auto a = std::to_integer<std::uint32_t>(bytes[at]);
        const auto b = std::to_integer<std::uint32_t>(bytes[at + 1]);
        return bigEndian ? a << 8 | b : b << 8 | a;
    };
    std::size_t at = 0;
    cut = false;
    while (at + 2 <= bytes.size()) {
        const std::uint32_t u = unit(at);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (at + 4 > bytes.size()) {
                cut = true;
                return at;
            }
            const std::uint32_t low = unit(at + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return at;
            at += 4;
            continue;
        }
        if ((u < 0x20 && !isTextControl(u)) || (u >= 0xDC00 && u <= 0xDFFF) || u == 0xFFFE || u == 0xFFFF || u == 0x7F)
            return at;
        at += 2;
    }
    cut = true;
    return at;
}

/// The script block of a UTF-16 unit as text in a language is written: 0 for
/// ASCII (shared by every script), a block number, or -1 for units text
/// rarely holds (random 16-bit values mostly are).
int utf16Block(std::uint32_t u)
{
    struct Block {
        std::uint32_t first;
        std::uint32_t last;
    };
    static constexpr Block kBlocks[] = {
        {0x0000, 0x007F}, {0x0080, 0x024F}, {0x0370, 0x03FF}, {0x0400, 0x052F}, {0x0590, 0x05FF},
        {0x0600, 0x06FF}, {0x0900, 0x0DFF}, {0x0E00, 0x0E7F}, {0x2000, 0x206F}, {0x3000, 0x30FF},
        {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3}, {0xFF00, 0xFFEF},
    };
    for (std::size_t i = 0; i < std::size(kBlocks); ++i)
        if (u >= kBlocks[i].first && u <= kBlocks[i].last)
            return static_cast<int>(i);
    return -1;
}

/// True when the UTF-16 units of `bytes` read as text of one script: each in a
/// block text is written in, and all but ASCII and general punctuation from
/// one block (or Japanese kana with CJK ideographs).
bool utf16OneScript(disk::ByteSpan bytes, bool bigEndian)
{
    constexpr int kPunctuation = 8;
    constexpr int kKana = 9;
    constexpr int kIdeographs = 10;
    int script = 0;
    for (std::size_t at = 0; at + 2 <= bytes.size(); at += 2) {
        const auto a = std::to_integer<std::uint32_t>(bytes[at]);
        const auto b = std::to_integer<std::uint32_t>(bytes[at + 1]);
        int block = utf16Block(bigEndian ? a << 8 | b : b << 8 | a);
        if (block < 0)
            return false;
        if (block == kKana)
            block = kIdeographs;
        if (block == 0 || block == kPunctuation)
            continue;
        if (script != 0 && block != script)
            return false;
        script = block;
    }
    return true;
}

std::size_t textRun(disk::ByteSpan bytes, Encoding encoding, bool& cut)
{
    if (encoding == Encoding::Utf8)
        return utf8Run(bytes, cut);
    return utf16Run(bytes, encoding == Encoding::Utf16Be, cut);
}

bool startsWith(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() && std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

/// Comma-separated values: at least two lines, each with the same number of
/// commas (one or more), and fields of a few words at most (prose has commas too).
bool looksLikeCsv(std::string_view text)
{
    constexpr std::size_t kMaxSpacesPerField = 2;
    std::size_t lines = 0;
    std::size_t commas = 0;
    while (!text.empty() && lines < 20) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (end == std::string_view::npos && lines >= 2)
            break; // a last line cut by the sniffed bytes
        const auto n = static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
        const auto spaces = static_cast<std::size_t>(std::count(line.begin(), line.end(), ' '));
        if (n == 0 || (lines != 0 && n != commas) || spaces > (n + 1) * kMaxSpacesPerField)
            return false;
        commas = n;
        ++lines;
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return lines >= 2;
}

/// The extension the text's content names.
std::string kindOf(std::string_view head, std::string_view tail)
{
    const auto trim = [](std::string_view t) {
        const std::size_t first = t.find_first_not_of(" \t\r\n\f");
        if (first == std::string_view::npos)
            return std::string_view{};
        const std::size_t last = t.find_last_not_of(" \t\r\n\f");
        return t.substr(first, last - first + 1);
    };
    const std::string_view start = trim(head);
    const std::string_view end = trim(tail);
    if (startsWith(start, "<!doctype html") || startsWith(start, "<html"))
        return "html";
    if (startsWith(start, "<?xml"))
        return "xml";
    if (!start.empty() && !end.empty() &&
        ((start.front() == '{' && end.back() == '}') || (start.front() == '[' && end.back() == ']')))
        return "json";
    if (looksLikeCsv(head))
        return "csv";
    return "txt";
}

} // namespace

bool looksLikeTextStart(disk::ByteSpan head)
{
    const disk::ByteReader r(head);
    bool cut = false;
    if (r.equals(0, {"\xFF\xFE", 2}) || r.equals(0, {"\xFE\xFF", 2})) {
        const bool bigEndian = r.equals(0, {"\xFE\xFF", 2});
        (void)utf16Run(head.subspan(2), bigEndian, cut);
        return cut && utf16OneScript(head.subspan(2), bigEndian);
    }
    (void)utf8Run(head.subspan(r.equals(0, "\xEF\xBB\xBF") ? 3 : 0), cut);
    if (!cut)
        return false;
    // A quarter letters and digits (in any script), or the start of marked-up
    // or structured text: a run of spaces or punctuation is padding, not text.
    std::size_t letters = 0;
    for (const std::byte b : head) {
        const auto c = std::to_integer<unsigned char>(b);
        letters += c >= 0x80 || std::isalnum(c) != 0 ? 1u : 0u;
    }
    const auto first = std::find_if(head.begin(), head.end(),
                                    [](std::byte b) { return std::isspace(std::to_integer<unsigned char>(b)) == 0; });
    const bool structured = first != head.end() && letters != 0 &&
                            std::string_view("{[<#").find(std::to_integer<char>(*first)) != std::string_view::npos;
    return letters * 4 >= head.size() || structured;
}

WalkResult walkText(CarveStream& s)
{
    Encoding encoding = Encoding::Utf8;
    std::uint64_t at = 0;
    if (s.matches(0, {"\xFF\xFE", 2})) {
        encoding = Encoding::Utf16Le;
        at = 2;
    } else if (s.matches(0, {"\xFE\xFF", 2})) {
        encoding = Encoding::Utf16Be;
        at = 2;
    } else if (s.matches(0, "\xEF\xBB\xBF")) {
        at = 3;
    }
    const std::uint64_t textStart = at;
    // The text runs until a byte that is not text, or the stretch's end.
    bool cut = false;
    while (at < s.limit()) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kStep, s.limit() - at));
        const auto bytes = s.bytes(at, want);
        if (!bytes)
            break;
        const std::size_t run = textRun(bytes->bytes(), encoding, cut);
        at += run;
        if (!cut)
            break;
        if (run == 0)
            break; // a character cut by the stretch's end
    }
    // Text says nowhere where it ends: another file's start (a PDF's header
    // reads as text too) ends it.
    const auto other = nextFileStart(s, textStart + 1, at, FileType::Text);
    const std::uint64_t length = other.value_or(at);
    if (length - textStart < kMinTextBytes)
        return {};
    // What ends it: a zero (the rest of the last cluster), other bytes or
    // another file end the file; the stretch's end or a read that failed may cut it.
    const bool ended = other.has_value() || (length < s.limit() && !s.failed());
    std::string extension = "txt";
    if (encoding == Encoding::Utf8) {
        // Copied out: the stream's window moves with the next read.
        const auto copy = [&s](std::uint64_t from, std::size_t n) {
            std::string text;
            if (const auto bytes = s.bytes(from, n))
                for (const std::byte b : bytes->bytes())
                    text.push_back(static_cast<char>(std::to_integer<unsigned char>(b)));
            return text;
        };
        const auto sniff = static_cast<std::size_t>(std::min<std::uint64_t>(kSniffBytes, length - textStart));
        const std::string head = copy(textStart, sniff);
        const std::string tail = copy(length - sniff, sniff);
        extension = kindOf(head, tail);
    }
    if (!ended)
        return walk::broken(true, length, extension);
    return walk::whole(length, extension);
}

} // namespace sarvik::carve
