// SPDX-License-Identifier: GPL-3.0-or-later
#include "recovery/ReportRecord.h"

#include "catalogue/NameText.h"
#include "disk/SectorReader.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace sarvik::recovery {

namespace {

/// Members keep the order they were added in.
using Json = nlohmann::ordered_json;

bool isNtfs(const ReportVolume& v)
{
    return v.tree.kind() == catalogue::CatalogueKind::Ntfs;
}

/// The word of the record's "outcome" field.
const char* outcomeWord(const FileReport& f)
{
    switch (f.outcome) {
    case FileOutcome::Written:
        return f.zeroFilledBlocks != 0 ? "zero-filled blocks" : "written";
    case FileOutcome::CutShort:
        return "cut short";
    case FileOutcome::Incomplete:
    case FileOutcome::CutAtVolumeEnd:
        return "incomplete";
    case FileOutcome::Filtered:
    case FileOutcome::DuplicateSkipped:
    case FileOutcome::NothingToWrite:
        return "skipped";
    case FileOutcome::CreateFailed:
    case FileOutcome::WriteFailed:
    case FileOutcome::Unreadable:
        break;
    }
    return "failed";
}

/// Why a file was not written whole or was left out; empty when it was written whole.
std::string reason(const FileReport& f)
{
    if (f.outcome == FileOutcome::Filtered)
        return "filtered out";
    if (f.outcome == FileOutcome::DuplicateSkipped)
        return "the name exists in the destination";
    std::string why = lossText(f);
    if (f.outcome == FileOutcome::NothingToWrite && why.empty())
        why = "empty: no data to copy";
    return why;
}

/// The MFT record number (NTFS) or first cluster (FAT) of entry `fileIndex`.
std::uint64_t entryNumber(const ReportVolume& v, std::size_t fileIndex)
{
    return v.catalogue.entry(catalogue::fileEntryId(fileIndex)).number; // 0 for none
}

} // namespace

std::optional<std::string> fileEntryPath(const catalogue::Catalogue& c, const catalogue::FolderTree& tree,
                                         std::size_t fileIndex)
{
    const catalogue::Entry e = c.entry(catalogue::fileEntryId(fileIndex));
    if (e.id == catalogue::kNoEntryId)
        return std::nullopt;
    const std::string_view name = e.name;
    const catalogue::TreeNode* folder = tree.findByKey(e.parentNumber);
    if (folder == nullptr)
        return std::nullopt;
    std::string path = "/" + catalogue::nameToUtf8(tree.path(folder->handle), c.NamesAreUtf8);
    if (path.size() > 1)
        path += '/';
    return path + catalogue::nameToUtf8(name, c.NamesAreUtf8);
}

std::string reportRecord(const ReportVolume& v, const FileReport& f)
{
    Json j = Json::object();
    j["schemaVersion"] = kReportSchemaVersion;
    const auto source = f.fileIndex ? fileEntryPath(v.catalogue, v.tree, *f.fileIndex) : std::nullopt;
    j["source"] = source ? Json(*source) : Json(nullptr);
    const bool created = f.outcome == FileOutcome::Written || f.outcome == FileOutcome::CutShort ||
                         f.outcome == FileOutcome::Incomplete || f.outcome == FileOutcome::CutAtVolumeEnd ||
                         f.outcome == FileOutcome::WriteFailed;
    j["written"] = created ? Json(f.path) : Json(nullptr);
    // Only where the destination refused the file's own name.
    if (!f.refusedName.empty())
        j["nameRefused"] = f.refusedName;
    if (!f.renamedBecause.empty())
        j["nameRefusedReason"] = f.renamedBecause;
    j["size"] = f.size;
    j["bytesWritten"] = f.bytesWritten;
    if (f.fileIndex)
        j[isNtfs(v) ? "recordNumber" : "firstCluster"] = entryNumber(v, *f.fileIndex);
    j["outcome"] = outcomeWord(f);
    const std::string why = reason(f);
    j["reason"] = why.empty() ? Json(nullptr) : Json(why);
    j["zeroFilledBlocks"] = f.zeroFilledBlocks;
    // Of the clusters the copy read, the share that is now in use by something else.
    const std::uint64_t clusterBytes = std::uint64_t{v.sectorsPerCluster} * disk::kSectorSize;
    const std::uint64_t clusters = clusterBytes == 0 ? 0 : (f.size + clusterBytes - 1) / clusterBytes;
    j["overwrittenShare"] =
        clusters == 0 ? 0.0 : std::min(1.0, static_cast<double>(f.clustersInUse) / static_cast<double>(clusters));
    j["sha256"] = f.sha256 ? Json(*f.sha256) : Json(nullptr);
    if (!f.sha256 && !f.hashMissing.empty())
        j["sha256Reason"] = f.hashMissing;
    // A name that is not UTF-8 is written with U+FFFD in place of its bad bytes.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string reportRecords(const ReportVolume& v, const RecoveryReport& report)
{
    std::string out;
    for (const FileReport& f : report.files())
        out += reportRecord(v, f) + '\n';
    return out;
}

} // namespace sarvik::recovery
