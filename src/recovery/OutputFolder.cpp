#include "recovery/OutputFolder.h"

#include "catalogue/NameDecode.h"
#include "catalogue/NameText.h"

namespace sarvik::recovery {

namespace {
constexpr std::size_t kMaxComponentBytes = 255;

// Bytes that are control characters in Windows-1252 as this program reads it:
// C0, DEL, and the five undefined code points that become C1 controls.
bool isControl(unsigned char c) noexcept
{
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}
} // namespace

bool isSafeComponent(std::string_view name) noexcept
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (const char c : name)
        if (c == '/' || c == '\\' || c == '\0')
            return false;
    return true;
}

std::string safeComponent(std::string_view diskName)
{
    if (diskName.empty())
        return "_";
    if (diskName == ".")
        return "_";
    if (diskName == "..")
        return "__";
    std::string cleaned(diskName);
    for (char& c : cleaned) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || isControl(u))
            c = '_';
    }
    std::string utf8 = catalogue::toUtf8(cleaned);
    if (utf8.size() > kMaxComponentBytes) {
        std::size_t cut = kMaxComponentBytes;
        // Step back over continuation bytes so a character is never split.
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.resize(cut);
    }
    return utf8;
}

std::string safeComponent(std::string_view diskName, bool namesAreUtf8)
{
    if (!namesAreUtf8 || !catalogue::isValidUtf8(diskName))
        return safeComponent(diskName);
    if (diskName.empty() || diskName == ".")
        return "_";
    if (diskName == "..")
        return "__";
    std::string cleaned(diskName);
    for (char& c : cleaned) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F)
            c = '_';
    }
    if (cleaned.size() > kMaxComponentBytes) {
        std::size_t cut = kMaxComponentBytes;
        while (cut > 0 && (static_cast<unsigned char>(cleaned[cut]) & 0xC0) == 0x80)
            --cut;
        cleaned.resize(cut);
    }
    return cleaned;
}

} // namespace sarvik::recovery
