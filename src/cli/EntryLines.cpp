#include "cli/EntryLines.h"

#include "catalogue/NameText.h"

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

} // namespace

std::string_view entryName(const scan::ScanSession& s, bool folder, std::size_t i, std::string& scratch)
{
    const auto& c = s.catalogue;
    const bool fat = s.kind() == catalogue::CatalogueKind::Fat;
    const std::string& raw = folder ? (fat ? c.FatFolderList[i].name : c.NtfsFolderList[i].name)
                                    : (fat ? c.FatFileList[i].name : c.NtfsFileList[i].name);
    return catalogue::nameAsUtf8(raw, c.NamesAreUtf8, scratch);
}

std::size_t entryCount(const scan::ScanSession& s, bool folders)
{
    const auto& c = s.catalogue;
    if (s.kind() == catalogue::CatalogueKind::Fat)
        return folders ? c.FatFolderList.size() : c.FatFileList.size();
    return folders ? c.NtfsFolderList.size() : c.NtfsFileList.size();
}

bool entryDeleted(const scan::ScanSession& s, bool folder, std::size_t i)
{
    const auto& c = s.catalogue;
    if (s.kind() == catalogue::CatalogueKind::Fat)
        return (folder ? c.FatFolderList[i].deleted : c.FatFileList[i].deleted) != 0;
    return (folder ? c.NtfsFolderList[i].deleted : c.NtfsFileList[i].deleted) != 0;
}

void EntryLines::format(bool folder, std::size_t i, JsonLine& j)
{
    const auto& c = m_session.catalogue;
    const std::string_view name = entryName(m_session, folder, i, m_decoded);
    // Both are UTF-8 as nameAsUtf8 makes it.
    if (m_paths.get(folder, i, name, m_path))
        j.addUtf8("path", m_path);
    else
        j.add("path", nullptr);
    j.addUtf8("name", name);
    if (folder) {
        addFolderMembers(j, m_session, i, m_style);
        return;
    }
    addFileMembers(j, m_session, i, m_style);
    if (!entryDeleted(m_session, false, i))
        return;
    // Free clusters do not make a carved file whose format broke off whole.
    const bool fat = m_session.kind() == catalogue::CatalogueKind::Fat;
    const bool cut = (fat ? c.FatFileList[i].carved : c.NtfsFileList[i].carved) == catalogue::Carved::Incomplete;
    addCondition(j, fat ? m_conditions.fatFile(c.FatFileList[i]) : m_conditions.ntfsFile(c.NtfsFileList[i]), cut);
}

} // namespace sarvik::cli
