#include "cli/Session.h"

#include "catalogue/NameText.h"
#include "cli/Progress.h"
#include "cli/Source.h"

#include <cstdio>

namespace sarvik::cli {

bool SessionArgs::consume(const std::vector<std::string>& args, std::size_t& i)
{
    if (!args[i].starts_with("--") && source.empty()) {
        source = args[i];
        return true;
    }
    return false;
}

std::unique_ptr<scan::ScanSession> openSession(const SessionArgs& args)
{
    OpenedSource opened = openSource(args.source);
    if (!opened.supported) {
        std::fprintf(stderr, "sarvik: %s\n", opened.error.c_str());
        return nullptr;
    }
    auto session = std::make_unique<scan::ScanSession>();
    session->volume = std::move(opened.volume);
    TerminalProgress progress("Scanning");
    catalogue::ScanControl control;
    scan::RunScan(*session, progress, control);
    progress.finish();
    return session;
}

std::string nodePath(const scan::ScanSession& session, const catalogue::TreeNode& node)
{
    return "/" + catalogue::toUtf8(session.tree.path(node.handle));
}

std::optional<std::string> folderEntryPath(const scan::ScanSession& session, std::size_t folderIndex)
{
    const auto& c = session.catalogue;
    const std::uint32_t item = session.kind() == catalogue::CatalogueKind::Fat ? c.FatFolderList[folderIndex].treeItem
                                                                                : c.NtfsFolderList[folderIndex].treeItem;
    const catalogue::TreeNode* node = session.tree.node(item);
    if (node == nullptr || node->folderIndex != static_cast<std::int64_t>(folderIndex))
        return std::nullopt;
    return nodePath(session, *node);
}

std::optional<std::string> fileEntryPath(const scan::ScanSession& session, std::size_t fileIndex)
{
    const auto& c = session.catalogue;
    const bool fat = session.kind() == catalogue::CatalogueKind::Fat;
    const std::uint32_t parent = fat ? c.FatFileList[fileIndex].parentCluster : c.NtfsFileList[fileIndex].parentRecord;
    const std::string& name = fat ? c.FatFileList[fileIndex].name : c.NtfsFileList[fileIndex].name;
    const catalogue::TreeNode* folder = session.tree.findByKey(parent);
    if (folder == nullptr)
        return std::nullopt;
    std::string path = nodePath(session, *folder);
    if (path.size() > 1)
        path += '/';
    return path + catalogue::toUtf8(name);
}

const catalogue::TreeNode* findFolder(const scan::ScanSession& session, const std::string& path)
{
    const catalogue::TreeNode* node = &session.tree.root();
    std::size_t pos = 0;
    while (pos < path.size()) {
        const std::size_t slash = path.find('/', pos);
        const std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        pos = slash == std::string::npos ? path.size() : slash + 1;
        if (part.empty())
            continue;
        const catalogue::TreeNode* next = nullptr;
        for (const std::uint32_t child : node->children) {
            const catalogue::TreeNode* c = session.tree.node(child);
            if (c != nullptr && catalogue::toUtf8(c->name) == part) {
                next = c;
                break;
            }
        }
        if (next == nullptr)
            return nullptr;
        node = next;
    }
    return node;
}

} // namespace sarvik::cli
