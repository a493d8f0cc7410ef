#pragma once
// What the subcommands that take SOURCE share: opening it, scanning it, and
// naming found items by path.

#include "scan/ScanSession.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::cli {

/// The arguments that say what to examine.
struct SessionArgs {
    std::string source;
    /// Takes args[i] (and its value) when it is one of ours; true when taken.
    bool consume(const std::vector<std::string>& args, std::size_t& i);
};

/// Opens and scans SOURCE; prints why on standard error and gives nothing when it cannot.
std::unique_ptr<scan::ScanSession> openSession(const SessionArgs& args);

/// "/A/B" for a placed folder (UTF-8), nothing for a folder the tree did not place.
std::optional<std::string> folderEntryPath(const scan::ScanSession& session, std::size_t folderIndex);
/// "/A/B/name" for a file whose folder is placed.
std::optional<std::string> fileEntryPath(const scan::ScanSession& session, std::size_t fileIndex);
/// The path of a tree node: "/" for the root.
std::string nodePath(const scan::ScanSession& session, const catalogue::TreeNode& node);
/// The folder named by a path as `scan` prints it ("/", "/A/B", "A/B"); null when not found.
const catalogue::TreeNode* findFolder(const scan::ScanSession& session, const std::string& path);

} // namespace sarvik::cli
