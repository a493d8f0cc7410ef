// sarvik find: the find-files search of the desktop program, for scripts.

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/Session.h"
#include "search/FileSearch.h"

#include <cstdio>
#include <string>
#include <vector>

namespace sarvik::cli {

int runFind(const std::vector<std::string>& args)
{
    SessionArgs sa;
    std::string pattern;
    bool json = false;
    bool havePattern = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (sa.consume(args, i)) {
        } else if (sa.source.empty() && !args[i].starts_with("--")) {
            sa.source = args[i];
        } else if (!havePattern && !args[i].starts_with("--")) {
            pattern = args[i];
            havePattern = true;
        } else {
            std::fprintf(stderr, "sarvik find: unexpected argument '%s'\n", args[i].c_str());
            return 2;
        }
    }
    if (sa.source.empty() || !havePattern) {
        std::fputs("usage: sarvik find SOURCE PATTERN [--classic] [--json]\n", stderr);
        return 2;
    }
    int status = kExitDone;
    auto session = openSession(sa, status);
    if (!session)
        return status;

    // The pattern comes from a UTF-8 terminal; it is matched as the catalogue holds names.
    const bool utf8 = session->catalogue.NamesAreUtf8;
    std::vector<search::SearchMatch> matches;
    search::SearchControl control;
    search::FindFiles(session->catalogue, session->tree, session->kind(), catalogue::nameFromUtf8(pattern, utf8),
                      control, [&](const search::SearchMatch& m) { matches.push_back(m); });

    if (json) {
        JsonWriter w;
        w.beginObject().value("pattern", catalogue::nameToUtf8(pattern, true)).beginArray("matches");
        for (const auto& m : matches) {
            w.beginObject()
                .value("name", catalogue::nameToUtf8(m.name, utf8))
                .value("path", catalogue::nameToUtf8(m.path, utf8))
                .value("size", m.size)
                .endObject();
        }
        w.endArray().value("count", static_cast<std::uint64_t>(matches.size())).endObject();
        std::printf("%s\n", w.str().c_str());
        return status;
    }
    std::printf("%-40s %-40s %12s\n", "File Name", "Path", "Size");
    for (const auto& m : matches)
        std::printf("%s %s %12llu\n", padded(terminalText(m.name, utf8), 40).c_str(),
                    padded(terminalText(m.path, utf8), 40).c_str(), static_cast<unsigned long long>(m.size));
    std::printf("%zu file(s) found\n", matches.size());
    return status;
}

} // namespace sarvik::cli
