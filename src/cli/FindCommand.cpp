// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik find: the find-files search of the desktop program, for scripts.

#include "catalogue/NameText.h"
#include "cli/Commands.h"
#include "cli/Entries.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "cli/Selection.h"
#include "cli/Session.h"
#include "cli/TextWidth.h"
#include "cli/TimeText.h"
#include "recovery/FileSources.h"
#include "search/FileSearch.h"

#include <cstdio>
#include <string>
#include <vector>

namespace sarvik::cli {

namespace {

struct Found {
    std::size_t fileIndex = 0;
    std::string name;   ///< UTF-8
    std::string folder; ///< "/A/B", as ls takes it
    std::uint64_t size = 0;
};

/// The folder of file `fileIndex` as a path joined by "/" ("/" when the tree
/// did not place it).
std::string folderOf(const scan::ScanSession& s, std::size_t fileIndex)
{
    const std::uint64_t parent = s.catalogue.entry(catalogue::fileEntryId(fileIndex)).parentNumber;
    const catalogue::TreeNode* node = s.tree.findByKey(parent);
    return node != nullptr ? nodePath(s, *node) : std::string("/");
}

std::string joined(const std::string& folder, const std::string& name)
{
    return (folder.size() > 1 ? folder + "/" : folder) + name;
}

} // namespace

int runFind(const CommandSpec& spec, const ParsedArgs& parsed)
{
    if (parsed.positional.size() != 2)
        return usageError(spec, parsed.positional.size() < 2 ? "SOURCE and PATTERN are needed" : "one PATTERN only");
    Selection selection;
    if (const auto error = selection.read(parsed))
        return usageError(spec, *error);
    const std::string& pattern = parsed.positional[1];
    int status = kExitDone;
    auto session = openSelectedSession(spec, parsed, selection, status);
    if (!session)
        return status;

    // The pattern comes from a UTF-8 terminal; it is matched as the catalogue holds names.
    const auto& s = *session;
    const bool utf8 = s.catalogue.NamesAreUtf8;
    std::vector<Found> found;
    search::SearchControl control;
    // A pattern copied from a listing holds its names' escapes: read as typed
    // first, then as what the escapes stand for.
    for (const std::string& form : typedPathForms(pattern)) {
        if (!found.empty())
            break;
        search::FindFiles(s.catalogue, s.tree, s.kind(), catalogue::nameFromUtf8(form, utf8), control,
                          [&](const search::SearchMatch& m) {
                              if (selection.passes(s, m.fileIndex))
                                  found.push_back({m.fileIndex, catalogue::nameToUtf8(m.name, utf8),
                                                   folderOf(s, m.fileIndex), m.size});
                          });
    }

    if (parsed.has("json")) {
        JsonStream w(stdout);
        w.beginDocument().value("pattern", catalogue::nameToUtf8(pattern, true)).beginArray("matches");
        for (const auto& f : found) {
            Json j = Json::object();
            j["name"] = f.name;
            j["path"] = f.folder;
            j["file"] = joined(f.folder, f.name);
            j["size"] = f.size;
            const catalogue::Entry e = s.catalogue.entry(catalogue::fileEntryId(f.fileIndex));
            j[numberField(s)] = e.number;
            if (s.kind() == catalogue::CatalogueKind::Fat)
                j["entryAddress"] = e.entryAddress != 0 ? Json(e.entryAddress) : Json(nullptr);
            if (const char* carved = carvedText(e))
                j["carved"] = carved;
            if (const auto* from = s.fileSources ? s.fileSources->sourceOf(f.fileIndex) : nullptr) {
                j["shadowCopy"] = from->shadowCopy; // a previous version, read from that copy
                j["shadowCopyCreated"] = from->created != 0 ? Json(fileTimeIso(from->created)) : Json(nullptr);
            }
            w.value({}, j);
        }
        w.endArray().value("count", found.size()).endObject();
        return status;
    }
    std::printf("%s %s %s\n", fitted("File Name", 40).c_str(), fitted("Path", 40).c_str(),
                rightAligned("Size", 12).c_str());
    for (const auto& f : found)
        std::printf("%s %s %s\n", fitted(terminalText(f.name, true), 40).c_str(),
                    fitted(terminalText(f.folder, true), 40).c_str(), rightAligned(std::to_string(f.size), 12).c_str());
    std::printf("%zu file(s) found\n", found.size());
    return status;
}

} // namespace sarvik::cli
