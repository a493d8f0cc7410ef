// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/DisplayText.h"

#include "catalogue/NameText.h"
#include "recovery/OutputFolder.h"

#include <cstdio>

namespace sarvik::session {

std::string displayName(const std::string& name, bool namesAreUtf8)
{
    std::string utf8 = catalogue::nameToUtf8(name, namesAreUtf8);
    if (utf8.find('\xE2') == std::string::npos)
        return utf8;
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (recovery::isBidiControl(utf8, i)) {
            // U+202A to U+202E and U+2066 to U+2069: three bytes, E2 80 xx or E2 81 xx.
            const auto code = static_cast<unsigned>(((static_cast<unsigned char>(utf8[i + 1]) & 0x3F) << 6) |
                                                    (static_cast<unsigned char>(utf8[i + 2]) & 0x3F)) |
                              0x2000U;
            char text[16];
            std::snprintf(text, sizeof text, "<U+%04X>", code);
            shown += text;
            i += 2;
        } else {
            shown.push_back(utf8[i]);
        }
    }
    return shown;
}

std::string filterNote(const std::vector<std::string>& patterns, bool namesAreUtf8)
{
    if (patterns.empty())
        return {};
    std::string shown;
    for (const std::string& p : patterns) {
        if (!shown.empty())
            shown += ", ";
        shown += displayName(p, namesAreUtf8);
    }
    return "File filter in force: only files named " + shown + " are listed and recovered";
}

std::string conditionLegend()
{
    return "Good: none of its clusters is in use by anything else now\n"
           "Partly overwritten: some of its clusters are in use by something else now\n"
           "Overwritten: all of its clusters are in use by something else now\n"
           "Unknown: where its data lies could not be read, so it could not be checked";
}

} // namespace sarvik::session
