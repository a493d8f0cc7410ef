// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/EntryLines.h"

#include "catalogue/NameDecode.h"
#include "catalogue/NameText.h"
#include "recovery/FileSources.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace sarvik::cli {

namespace {

/// "condition" and the share of the file's clusters now in use; nothing when unknown.
/// A carved file whose format broke off is "Incomplete" however free its clusters are.
void addCondition(JsonLine& j, const recovery::ConditionEstimate& e, bool incompleteCarved)
{
    if (e.condition == recovery::FileCondition::Unknown)
        return;
    j.add("condition", incompleteCarved ? recovery::kIncompleteCarvedText : recovery::conditionText(e.condition));
    j.add("overwrittenShare", e.share());
    j.add("clusters", e.clusters);
    j.add("clustersInUse", e.clustersInUse);
}

/// An entry's name (with its flags) as UTF-8: the name as the scan decoded it,
/// or as nameAsUtf8 makes it.
std::string_view utf8Name(const catalogue::Catalogue& c, std::string_view name, std::uint16_t flags,
                          std::string& scratch)
{
    if (c.NamesAreUtf8 && catalogue::hasFlag(flags, catalogue::EntryFlag::NameDecoded))
        return name; // well formed as the scan decoded it: what nameAsUtf8 would give
    return catalogue::nameAsUtf8(name, c.NamesAreUtf8, scratch);
}

} // namespace

std::size_t entryCount(const scan::ScanSession& s, bool folders)
{
    return folders ? s.catalogue.folderEntryCount() : s.catalogue.fileEntryCount();
}

bool entryDeleted(const scan::ScanSession& s, bool folder, std::size_t i)
{
    const catalogue::EntryId id = folder ? catalogue::folderEntryId(i) : catalogue::fileEntryId(i);
    return catalogue::hasFlag(s.catalogue.entryFlags(id), catalogue::EntryFlag::Deleted);
}

namespace detail {

/// The lines of chunk `chunk` of the files (a JSON object each, one after
/// another) and where each ends.
struct ChunkLines {
    std::size_t chunk = 0;
    std::string text;
    std::vector<std::size_t> ends;
};

/// Formats the odd chunks of the files' lines on a thread of its own, with its
/// own EntryLines, while the caller formats the even ones and writes them all
/// in order: the text is the same as one thread's. kSlots chunks are held at
/// most. The thread is stopped and joined when the object goes away.
class OddChunks {
public:
    OddChunks(const scan::ScanSession& s, EntryStyle style) : m_session(s), m_style(style)
    {
        m_thread = std::thread([this] { run(); });
    }
    ~OddChunks()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    OddChunks(const OddChunks&) = delete;
    OddChunks& operator=(const OddChunks&) = delete;

    /// Odd chunk `chunk` once formatted (what went wrong on the thread is thrown
    /// here); it stays until release().
    const ChunkLines& wait(std::size_t chunk)
    {
        std::unique_lock lock(m_mutex);
        ChunkLines& slot = m_slots[slotOf(chunk)];
        m_changed.wait(lock, [&] { return m_failure || m_ready[slotOf(chunk)] == chunk; });
        if (m_failure)
            std::rethrow_exception(m_failure);
        return slot;
    }
    void release(std::size_t chunk)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_ready[slotOf(chunk)] = kNone;
        }
        m_changed.notify_all();
    }

private:
    static constexpr std::size_t kNone = ~std::size_t{0};
    // Enough for the thread to work ahead while the caller writes what comes
    // before the files.
    static constexpr std::size_t kSlots = 8;
    static std::size_t slotOf(std::size_t chunk) { return chunk / 2 % kSlots; }
    static std::array<std::size_t, kSlots> noneReady()
    {
        std::array<std::size_t, kSlots> ready{};
        ready.fill(kNone);
        return ready;
    }

    void run()
    {
        try {
            EntryLines lines(m_session, m_style);
            JsonLine j;
            const std::size_t files = entryCount(m_session, false);
            for (std::size_t chunk = 1; chunk * kChunkFiles < files; chunk += 2) {
                ChunkLines& slot = m_slots[slotOf(chunk)];
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [&] { return m_stop || m_ready[slotOf(chunk)] == kNone; });
                    if (m_stop)
                        return;
                }
                slot.chunk = chunk;
                slot.text.clear();
                slot.ends.clear();
                for (std::size_t i = chunk * kChunkFiles; i < std::min(files, (chunk + 1) * kChunkFiles); ++i) {
                    lines.format(false, i, j);
                    j.moveTo(slot.text);
                    slot.ends.push_back(slot.text.size());
                }
                {
                    const std::lock_guard lock(m_mutex);
                    m_ready[slotOf(chunk)] = chunk;
                }
                m_changed.notify_all();
            }
        } catch (...) {
            {
                const std::lock_guard lock(m_mutex);
                m_failure = std::current_exception();
            }
            m_changed.notify_all();
        }
    }

    const scan::ScanSession& m_session;
    const EntryStyle m_style;
    std::array<ChunkLines, kSlots> m_slots;
    std::array<std::size_t, kSlots> m_ready = noneReady(); ///< per slot: the chunk formatted into it
    bool m_stop = false;
    std::exception_ptr m_failure;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

} // namespace detail

FileLines::FileLines(const scan::ScanSession& s, EntryStyle style, bool twoThreads) : m_session(s)
{
    const std::size_t files = entryCount(s, false);
    const auto& source = s.volume.reader.source();
    // A FAT or exFAT estimate reads the whole allocation table, which a second
    // one would read and hold again; NTFS's reads a sector of $Bitmap at need.
    const bool ntfs = s.kind() == catalogue::CatalogueKind::Ntfs;
    if (twoThreads && ntfs && files > kChunkFiles && (!source || source->readsInParallel())) {
        try {
            m_odd = std::make_unique<detail::OddChunks>(s, style);
        } catch (const std::system_error&) {
            // No thread to be had: one does it all.
        }
    }
}

FileLines::~FileLines() = default;

void FileLines::write(JsonStream& w, EntryLines& lines)
{
    const std::size_t files = entryCount(m_session, false);
    JsonLine j;
    for (std::size_t chunk = 0; chunk * kChunkFiles < files; ++chunk) {
        if (m_odd && chunk % 2 == 1) {
            const detail::ChunkLines& done = m_odd->wait(chunk);
            std::size_t start = 0;
            for (const std::size_t end : done.ends) {
                w.element(std::string_view(done.text).substr(start, end - start));
                start = end;
            }
            m_odd->release(chunk);
            continue;
        }
        for (std::size_t i = chunk * kChunkFiles; i < std::min(files, (chunk + 1) * kChunkFiles); ++i) {
            lines.format(false, i, j);
            w.element(j);
        }
    }
}

void writeFileLines(JsonStream& w, const scan::ScanSession& s, EntryStyle style, EntryLines& lines, bool twoThreads)
{
    FileLines(s, style, twoThreads).write(w, lines);
}

EntryPaths::FolderPath& EntryPaths::folderPath(const catalogue::TreeNode& node)
{
    // The folders above that have no path yet, nearest first: their paths are
    // then made from the top down, each from its parent's, without recursion.
    std::vector<const catalogue::TreeNode*> chain;
    for (const catalogue::TreeNode* n = &node; n != nullptr && !m_nodePaths[n->handle];
         n = n->handle == catalogue::FolderTree::kRootHandle ? nullptr : m_session.tree.node(n->parent)) {
        chain.push_back(n);
        if (chain.size() > m_nodePaths.size())
            break; // not a tree: each path is then made whole
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        m_nodePaths[(*it)->handle] = makePath(**it);
    return *m_nodePaths[node.handle];
}

EntryPaths::FolderPath EntryPaths::makePath(const catalogue::TreeNode& node) const
{
    // cli::nodePath joins the names and turns the whole into UTF-8: as it
    // stands when it is well formed, which it is exactly when every name is,
    // else every name read as Windows-1252. So where each name on the way is
    // checked once, the parent's path and this name give the same text.
    const bool utf8 = m_session.catalogue.NamesAreUtf8;
    if (node.handle == catalogue::FolderTree::kRootHandle)
        return {"/", std::nullopt, utf8};
    const catalogue::TreeNode* parent = m_session.tree.node(node.parent);
    const auto* above = parent != nullptr ? &m_nodePaths[parent->handle] : nullptr;
    if (above != nullptr && *above && (*above)->extends && catalogue::isValidUtf8(node.name)) {
        std::string text = (*above)->text;
        if (text.size() > 1)
            text.push_back('/');
        text.append(node.name);
        return {std::move(text), std::nullopt, true};
    }
    return {cli::nodePath(m_session, node), std::nullopt, false};
}

void EntryLines::format(bool folder, std::size_t i, JsonLine& j)
{
    const auto& c = m_session.catalogue;
    // The entry is read once, for its name and its members.
    const catalogue::Entry e =
        c.entry(folder ? catalogue::folderEntryId(i) : catalogue::fileEntryId(i), catalogue::EntryParts::NoParent);
    const std::string_view name = utf8Name(c, e.name, e.flags, m_decoded);
    // Both are UTF-8 as nameAsUtf8 makes it. A file's path is written from its
    // folder's and its name, without joining them first.
    if (!folder) {
        if (const auto* parent = m_paths.fileFolder(i))
            j.addUtf8Path("path", parent->text, *parent->plain, name);
        else
            j.add("path", nullptr);
    } else if (m_paths.get(folder, i, name, m_path)) {
        j.addUtf8("path", m_path);
    } else {
        j.add("path", nullptr);
    }
    j.addUtf8("name", name);
    if (folder) {
        addFolderMembers(j, m_session, e, m_style);
        return;
    }
    addFileMembers(j, m_session, e, m_style);
    if (!e.deleted())
        return;
    if (m_session.fileSources) {
        // Read from a shadow copy, which holds it whole.
        if (std::string whole = m_session.fileSources->conditionText(i); !whole.empty()) {
            j.add("condition", whole);
            j.add("overwrittenShare", 0.0);
            j.add("clusters", m_session.fileSources->clustersOf(i));
            j.add("clustersInUse", std::uint64_t{0});
            return;
        }
    }
    // Free clusters do not make a carved file whose format broke off whole.
    addCondition(j, m_conditions.file(c, e.id), e.is(catalogue::EntryFlag::CarvedIncomplete));
}

} // namespace sarvik::cli
