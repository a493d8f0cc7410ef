// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/PreviousVersions.h"

#include "catalogue/RecoveryControl.h"
#include "recovery/FileRecovery.h"
#include "recovery/RecoveryReport.h"
#include "recovery/RecoverySettings.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace sarvik::session {

namespace {

using catalogue::EntryId;

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return out;
}

/// A file that keeps nothing of what is written to it but a digest of it.
class DigestFile : public recovery::OutputFile {
public:
    explicit DigestFile(std::uint64_t& digest) : m_digest(digest) { m_digest = kOffsetBasis; }
    bool write(disk::ByteSpan bytes) override
    {
        for (const std::byte b : bytes)
            m_digest = (m_digest ^ static_cast<std::uint8_t>(b)) * kPrime;
        return true;
    }
    bool close() override { return true; }

private:
    // FNV-1a, 64 bits.
    static constexpr std::uint64_t kOffsetBasis = 0xcbf29ce484222325ULL;
    static constexpr std::uint64_t kPrime = 0x100000001b3ULL;
    std::uint64_t& m_digest;
};

/// The one folder a digest is taken in: it holds no names.
class DigestFolder : public recovery::OutputFolder {
public:
    std::string displayPath() const override { return "(compared)"; }
    bool exists(std::string_view) const override { return false; }
    std::shared_ptr<OutputFolder> makeFolder(std::string_view) override { return nullptr; }
    std::unique_ptr<recovery::OutputFile> createFile(std::string_view, bool) override
    {
        return std::make_unique<DigestFile>(digest);
    }
    std::string rename(std::string_view, std::string_view, bool) override { return {}; }
    std::uint64_t digest = 0;
};

/// A digest of the bytes file `id` of `s` reads as; nothing when it did not
/// read whole.
std::optional<std::uint64_t> digestOf(const scan::ScanSession& s, EntryId id)
{
    recovery::RecoverySettings settings = recovery::RecoverySettings::startup('N');
    settings.KeepOriginalTimes = false;
    settings.ThoroughScan = true;
    catalogue::RecoveryControl control;
    recovery::RecoveryObserver observer;
    recovery::RecoveryReport report;
    recovery::FileRecovery copier(s.volume, s.catalogue, s.tree, s.filters, settings, control, observer, report);
    auto folder = std::make_shared<DigestFolder>();
    copier.RecoverFile(recovery::TargetFolder{folder, "(compared)"}, id, recovery::CopyMode::Open);
    for (const recovery::FileReport& f : report.files())
        if (f.outcome != recovery::FileOutcome::Written && f.outcome != recovery::FileOutcome::NothingToWrite)
            return std::nullopt;
    return folder->digest;
}

/// The clusters the data of a file takes: its runs as the scan kept them,
/// none when it lies in its record, else as many as its size fills.
std::uint64_t dataClusters(const catalogue::NtfsRecordData& data, std::uint64_t size, const scan::ScanSession& s)
{
    if (data.resident)
        return 0;
    std::uint64_t clusters = 0;
    for (const catalogue::NtfsDataRun& run : data.runs)
        clusters += run.sparse ? 0 : run.length;
    if (clusters != 0 || !data.runs.empty())
        return clusters;
    const std::uint64_t clusterBytes = std::uint64_t{s.volume.geometry.SectorsPerCluster} * disk::kSectorSize;
    return clusterBytes == 0 ? 0 : (size + clusterBytes - 1) / clusterBytes;
}

} // namespace

std::optional<std::string> lowerPath(const catalogue::Catalogue& catalogue, EntryId id)
{
    std::vector<std::string_view> names;
    // A folder chain longer than the folders listed runs in a loop.
    for (std::size_t steps = 0; id != catalogue::kRootEntryId; ++steps) {
        if (id == catalogue::kNoEntryId || steps > catalogue.folderEntryCount())
            return std::nullopt;
        const catalogue::Entry e = catalogue.entry(id);
        if (e.id == catalogue::kNoEntryId)
            return std::nullopt;
        names.push_back(e.name);
        id = catalogue.folderIdByKey(e.parentNumber);
    }
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        path += "/" + lowerAscii(*it);
    return path;
}

bool isSystemPath(const std::string& lowerPath)
{
    if (lowerPath == "/system volume information" || lowerPath.starts_with("/system volume information/"))
        return true;
    // $MFT, $LogFile, $Extend/... : the file system's own files.
    return lowerPath.starts_with("/$");
}

PreviousVersions::PreviousVersions(scan::ScanSession& session, const scan::ScanSession& live, PreviousScope scope)
    : m_session(session), m_live(live), m_scope(scope), m_sources(std::make_shared<recovery::FileSources>())
{
    const catalogue::Catalogue& lc = live.catalogue;
    for (std::size_t i = 0; i < lc.fileEntryCount(); ++i) {
        const catalogue::Entry e = lc.entry(catalogue::fileEntryId(i));
        if (e.deleted() || e.is(catalogue::EntryFlag::Stream))
            continue;
        if (auto path = lowerPath(lc, e.id))
            m_liveFiles.emplace(std::move(*path), e.id);
    }
    m_folders.emplace("", catalogue::kNtfsRootRecord);
    const catalogue::Catalogue& c = session.catalogue;
    for (const bool deleted : {false, true})
        for (std::size_t i = 0; i < c.folderEntryCount(); ++i) {
            const catalogue::Entry e = c.entry(catalogue::folderEntryId(i));
            if (e.deleted() != deleted || e.is(catalogue::EntryFlag::Moved))
                continue;
            if (auto path = lowerPath(c, e.id))
                m_folders.emplace(std::move(*path), c.folderKey(e.id));
        }
}

std::uint64_t PreviousVersions::folderKeyFor(const scan::ScanSession& copy, EntryId copyFolder)
{
    const catalogue::Catalogue& cc = copy.catalogue;
    if (copyFolder == catalogue::kRootEntryId)
        return catalogue::kNtfsRootRecord;
    const auto path = lowerPath(cc, copyFolder);
    if (!path)
        return catalogue::kNtfsRootRecord;
    if (const auto it = m_folders.find(*path); it != m_folders.end())
        return it->second;
    const catalogue::Entry e = cc.entry(copyFolder);
    const std::uint64_t parent = folderKeyFor(copy, cc.folderIdByKey(e.parentNumber));
    const std::uint64_t key = m_nextFolderKey++;
    const catalogue::NtfsStandardTimes standard{e.times.created.value, e.times.modified.value, e.times.changed.value,
                                                e.times.accessed.value};
    m_session.catalogue.AddNtfsFolder(std::string(e.name), key, parent, e.times.created.value, e.times.modified.value,
                                      0, 1, standard);
    m_folders.emplace(*path, key);
    return key;
}

bool PreviousVersions::sameBytes(const scan::ScanSession& copy, EntryId copyFile, EntryId liveFile)
{
    const auto a = digestOf(copy, copyFile);
    const auto b = digestOf(m_live, liveFile);
    return a && b && *a == *b;
}

std::size_t PreviousVersions::addCopy(std::uint32_t number, std::uint64_t created, scan::ScanSession& copy)
{
    const catalogue::Catalogue& cc = copy.catalogue;
    std::size_t source = m_sources->sources().size();
    std::size_t count = 0;
    for (std::size_t i = 0; i < cc.fileEntryCount(); ++i) {
        const catalogue::Entry e = cc.entry(catalogue::fileEntryId(i));
        // Files the copy held in use, by their own data (a named stream
        // goes with its file).
        const auto* data = std::get_if<catalogue::NtfsRecordData>(&e.location);
        if (e.deleted() || e.is(catalogue::EntryFlag::Stream) || e.is(catalogue::EntryFlag::Carved) || data == nullptr)
            continue;
        auto path = lowerPath(cc, e.id);
        if (!path || isSystemPath(*path))
            continue;
        const Version version{e.size, e.times.modified.value};
        if (const auto live = m_liveFiles.find(*path); live != m_liveFiles.end()) {
            const catalogue::Entry now = m_live.catalogue.entry(live->second);
            if (now.size == e.size &&
                (now.times.modified.value == version.modified || sameBytes(copy, e.id, live->second)))
                continue; // unchanged since
        }
        std::vector<Version>& versions = m_added[*path];
        if ((m_scope == PreviousScope::Newest && !versions.empty()) ||
            std::find(versions.begin(), versions.end(), version) != versions.end())
            continue;
        if (source == m_sources->sources().size()) {
            auto volume = std::make_shared<disk::SelectedVolume>(copy.volume);
            source = m_sources->addSource(recovery::OtherSource{number, created, std::move(volume)});
        }
        const std::uint64_t parent = folderKeyFor(copy, cc.folderIdByKey(e.parentNumber));
        const catalogue::NtfsStandardTimes standard{e.times.created.value, e.times.modified.value,
                                                    e.times.changed.value, e.times.accessed.value};
        m_session.catalogue.AddNtfsFile(data->recordSector, std::string(e.name), e.number, parent,
                                        e.times.created.value, e.times.modified.value, 1, e.size, standard);
        m_sources->assign(m_session.catalogue.fileEntryCount() - 1, source, dataClusters(*data, e.size, copy));
        versions.push_back(version);
        ++count;
    }
    return count;
}

void PreviousVersions::finish()
{
    if (m_sources->fileCount() == 0)
        return;
    m_session.fileSources = m_sources;
    m_session.buildTree();
}

} // namespace sarvik::session

namespace sarvik::session {

PreviousVersionsRun addPreviousVersions(scan::ScanSession& session, std::vector<container::ShadowCopy> copies,
                                        const ShadowCopyOpener& open, PreviousScope scope, bool liveListed,
                                        catalogue::ScanObserver& observer, catalogue::ScanControl& control)
{
    PreviousVersionsRun run;
    const scan::ScanOptions everyFile{true, false, false, true};
    // The volume's files in use, to lay each copy's beside.
    std::unique_ptr<scan::ScanSession> liveScan;
    if (!liveListed) {
        liveScan = std::make_unique<scan::ScanSession>();
        liveScan->volume = session.volume;
        if (scan::RunScan(*liveScan, observer, control, everyFile).Stopped) {
            run.stopped = true;
            return run;
        }
    }
    PreviousVersions versions(session, liveScan ? *liveScan : session, scope);
    // Newest first: each path's newest version that differs comes first.
    std::stable_sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) {
        return a.creationTime != b.creationTime ? a.creationTime > b.creationTime : a.number > b.number;
    });
    for (const container::ShadowCopy& copy : copies) {
        const std::string name =
            "shadow copy " + std::to_string(copy.number) + " (" + recovery::copyTimeText(copy.creationTime) + ")";
        std::string error = copy.error;
        std::optional<disk::SelectedVolume> volume;
        if (error.empty())
            volume = open(copy.number, error);
        if (!volume) {
            std::string problem = name;
            problem.append(" cannot be read: ").append(error).append("; its previous versions are not listed");
            run.problems.push_back(std::move(problem));
            continue;
        }
        scan::ScanSession scanned;
        scanned.volume = std::move(*volume);
        const scan::ScanResult result = scan::RunScan(scanned, observer, control, everyFile);
        if (result.Stopped) {
            run.stopped = true; // what the newer copies added stays, read from them
            break;
        }
        if (result.any())
            run.problems.push_back(name + ": " + std::to_string(result.UnreadableSectors) + " sector(s) and " +
                                   std::to_string(result.UnreadableRecords) +
                                   " MFT record(s) could not be read; previous versions they held are missing");
        versions.addCopy(copy.number, copy.creationTime, scanned);
        ++run.copiesRead;
    }
    versions.finish();
    run.added = versions.added();
    return run;
}

} // namespace sarvik::session

namespace sarvik::session {

std::size_t previousVersionsOffered(const scan::ScanSession& session, const container::ShadowCopyList& copies)
{
    if (session.volume.geometry.GeometryKind != disk::VolumeKind::Ntfs || !session.catalogue.NamesAreUtf8 ||
        session.fileSources)
        return 0;
    return static_cast<std::size_t>(std::count_if(copies.copies.begin(), copies.copies.end(),
                                                  [](const container::ShadowCopy& c) { return c.error.empty(); }));
}

std::vector<ShadowCopyDrive> shadowCopyDrives(const disk::DriveItem& volume, const container::ShadowCopyList& copies)
{
    std::vector<ShadowCopyDrive> drives;
    for (const container::ShadowCopy& copy : copies.copies) {
        if (!copy.error.empty())
            continue;
        ShadowCopyDrive d{volume, copy.number, copy.creationTime};
        d.item.devicePath = volume.devicePath + "@vss" + std::to_string(copy.number);
        d.item.text =
            "Shadow copy " + std::to_string(copy.number) + " (" + recovery::copyTimeText(copy.creationTime) + ")";
        d.item.sizeBytes = copy.size;
        drives.push_back(std::move(d));
    }
    return drives;
}

} // namespace sarvik::session
