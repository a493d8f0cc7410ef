// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/OutputFolder.h"

#include "catalogue/NameDecode.h"
#include "catalogue/NameText.h"

#include <algorithm>
#include <array>
#include <optional>

namespace sarvik::recovery {

namespace {

/// Zeros written at a time for a hole the destination does not keep.
constexpr std::size_t kZeroBlock = 64 * 1024;
constexpr std::array<std::byte, kZeroBlock> kZeros{};

// Bytes that are control characters in Windows-1252 as this program reads it:
// C0, DEL, and the five undefined code points that become C1 controls.
bool isControl(unsigned char c) noexcept
{
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}
} // namespace

bool OutputFile::writeHole(std::uint64_t count)
{
    while (count > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kZeroBlock));
        if (!write(disk::ByteSpan(kZeros.data(), n)))
            return false;
        count -= n;
    }
    return true;
}

std::string cutToComponent(std::string utf8)
{
    return cutToComponent(std::move(utf8), kMaxComponentBytes);
}

std::string cutToComponent(std::string utf8, std::size_t bytes)
{
    if (utf8.size() > bytes) {
        std::size_t cut = bytes;
        // Step back over continuation bytes so a character is never split.
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.resize(cut);
    }
    return utf8;
}

bool isSafeComponent(std::string_view name) noexcept
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (const char c : name)
        if (c == '/' || c == '\\' || c == '\0')
            return false;
    return true;
}

namespace {

// The stand-in for a name that cannot be a component at all ("", "." or ".."),
// or nothing; then `name` with separators and the bytes `unsafe` picks turned to '_'.
std::optional<std::string> standIn(std::string_view name)
{
    if (name.empty() || name == ".")
        return "_";
    if (name == "..")
        return "__";
    return std::nullopt;
}

template <typename Unsafe> std::string cleaned(std::string_view name, Unsafe unsafe)
{
    std::string out(name);
    for (char& c : out)
        if (c == '/' || c == '\\' || unsafe(static_cast<unsigned char>(c)))
            c = '_';
    return out;
}

} // namespace

std::string restrictedName(std::string_view utf8)
{
    std::string name(utf8);
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' || c == '|' ||
            c == '?' || c == '*')
            c = '_';
    }
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.back() = '_';
    return name;
}

bool isBidiControl(std::string_view utf8, std::size_t at) noexcept
{
    // U+202A-U+202E are E2 80 AA-AE; U+2066-U+2069 are E2 81 A6-A9.
    if (at + 3 > utf8.size() || static_cast<unsigned char>(utf8[at]) != 0xE2)
        return false;
    const auto second = static_cast<unsigned char>(utf8[at + 1]);
    const auto third = static_cast<unsigned char>(utf8[at + 2]);
    return (second == 0x80 && third >= 0xAA && third <= 0xAE) || (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

std::string withoutBidiControls(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (isBidiControl(utf8, i)) {
            out.push_back('_');
            i += 2;
        } else {
            out.push_back(utf8[i]);
        }
    }
    return out;
}

std::string shortenedComponent(std::string utf8, std::size_t bytes)
{
    // Longest extension kept whole: a name's last dot further back than this
    // is not an extension's.
    constexpr std::size_t kMaxExtension = 32;
    constexpr std::string_view kMark = "~1";
    if (utf8.size() <= bytes)
        return utf8;
    const std::size_t dot = utf8.rfind('.');
    const std::size_t extension = dot == std::string::npos ? 0 : utf8.size() - dot;
    if (dot == std::string::npos || dot == 0 || extension > kMaxExtension || extension + kMark.size() + 1 > bytes)
        return cutToComponent(std::move(utf8), bytes);
    std::string stem = cutToComponent(utf8.substr(0, dot), bytes - extension - kMark.size());
    return stem.append(kMark).append(utf8, dot, std::string::npos);
}

std::string uncutComponent(std::string_view diskName, bool namesAreUtf8)
{
    if (auto name = standIn(diskName))
        return *name;
    if (!namesAreUtf8 || !catalogue::isValidUtf8(diskName))
        return catalogue::toUtf8(cleaned(diskName, isControl));
    return cleaned(diskName, [](unsigned char u) { return u < 0x20 || u == 0x7F; });
}

std::string safeComponent(std::string_view diskName)
{
    return safeComponent(diskName, false);
}

std::string safeComponent(std::string_view diskName, bool namesAreUtf8)
{
    if (auto name = standIn(diskName))
        return *name;
    return shortenedComponent(withoutBidiControls(uncutComponent(diskName, namesAreUtf8)), kMaxComponentBytes);
}

} // namespace sarvik::recovery
