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

std::string safeComponent(std::string_view diskName)
{
    if (auto name = standIn(diskName))
        return *name;
    return cutToComponent(catalogue::toUtf8(cleaned(diskName, isControl)));
}

std::string safeComponent(std::string_view diskName, bool namesAreUtf8)
{
    if (!namesAreUtf8 || !catalogue::isValidUtf8(diskName))
        return safeComponent(diskName);
    if (auto name = standIn(diskName))
        return *name;
    return cutToComponent(cleaned(diskName, [](unsigned char u) { return u < 0x20 || u == 0x7F; }));
}

} // namespace sarvik::recovery
