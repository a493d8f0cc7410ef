#include "catalogue/NameText.h"

#include "catalogue/NameDecode.h"

#include <array>
#include <cstdint>

namespace sarvik::catalogue {

namespace {

// Code points of bytes 0x80..0x9F in Windows-1252.
constexpr std::array<std::uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

std::string toUtf8(std::string_view cp1252)
{
    bool ascii = true;
    for (const char c : cp1252)
        ascii = ascii && static_cast<std::uint8_t>(c) < 0x80;
    if (ascii)
        return std::string(cp1252);
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 4);
    for (const char c : cp1252) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x80 && byte < 0xA0)
            appendUtf8(out, char32_t{kHigh[byte - 0x80u]});
        else
            appendUtf8(out, char32_t{byte});
    }
    return out;
}

std::string nameToUtf8(std::string_view name, bool namesAreUtf8)
{
    if (namesAreUtf8 && isValidUtf8(name))
        return std::string(name);
    return toUtf8(name);
}

} // namespace sarvik::catalogue
