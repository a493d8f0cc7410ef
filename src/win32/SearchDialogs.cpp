// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/SearchDialogs.h"

#include "win32/Resources.h"

#include "catalogue/NameText.h"
#include "platform/WinText.h"
#include "session/DisplayText.h"

#include <commctrl.h>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

constexpr UINT kMatchesWaiting = WM_APP + 41;
constexpr UINT kWalkEnded = WM_APP + 42;

void addColumn(HWND list, int index, const wchar_t* header, int width)
{
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(header);
    ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void setCell(HWND list, int row, int column, const std::wstring& text)
{
    std::wstring copy = text;
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = copy.data();
    ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
}

} // namespace

FindFilesDialog::FindFilesDialog(const catalogue::Catalogue& catalogue, const catalogue::FolderTree& tree,
                                 catalogue::CatalogueKind kind)
    : m_catalogue(catalogue), m_job(catalogue, tree, kind, *this)
{
}

FindFilesDialog::~FindFilesDialog()
{
    m_job.drop(); // stopped and joined while the box's members are whole
}

void FindFilesDialog::init()
{
    HWND list = item(IDC_FIND_RESULTS);
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    // The columns share the list's width: name, path, size.
    RECT room{};
    ::GetClientRect(list, &room);
    const int width = room.right - ::GetSystemMetricsForDpi(SM_CXVSCROLL, ::GetDpiForWindow(handle()));
    addColumn(list, 0, L"File Name", width * 35 / 100);
    addColumn(list, 1, L"Path", width * 48 / 100);
    addColumn(list, 2, L"Size", width * 17 / 100);
    ::SendMessageW(item(IDC_FIND_PATTERN), EM_SETLIMITTEXT, 255, 0);
    showSearching(false);
    ::SetFocus(item(IDC_FIND_PATTERN));
}

void FindFilesDialog::showSearching(bool searching)
{
    m_searching = searching;
    ::EnableWindow(item(IDC_FIND_START), searching ? FALSE : TRUE);
    ::EnableWindow(item(IDC_FIND_STOP), searching ? TRUE : FALSE);
    ::EnableWindow(item(IDC_FIND_GOTO), !searching && !m_found.empty() ? TRUE : FALSE);
}

bool FindFilesDialog::command(int id, int code)
{
    switch (id) {
    case IDC_FIND_START:
    case IDOK: // Enter in the pattern
        if (id == IDOK && ::GetFocus() == item(IDC_FIND_RESULTS))
            goTo(static_cast<int>(
                ::SendMessageW(item(IDC_FIND_RESULTS), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
        else
            startSearch();
        return true;
    case IDC_FIND_STOP:
        stopSearch();
        return true;
    case IDC_FIND_GOTO:
        goTo(static_cast<int>(
            ::SendMessageW(item(IDC_FIND_RESULTS), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
        return true;
    case IDCANCEL:
        m_job.drop();
        close(IDCANCEL);
        return true;
    default:
        return DialogBase::command(id, code);
    }
}

INT_PTR FindFilesDialog::notify(const NMHDR& header, LPARAM lParam)
{
    if (header.idFrom == IDC_FIND_RESULTS && header.code == NM_DBLCLK)
        goTo(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem);
    else if (header.idFrom == IDC_FIND_RESULTS && header.code == LVN_ITEMCHANGED)
        ::EnableWindow(item(IDC_FIND_GOTO), !m_searching && !m_found.empty() ? TRUE : FALSE);
    return 0;
}

bool FindFilesDialog::message(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result)
{
    result = 0;
    if (message == kMatchesWaiting) {
        deliver();
        return true;
    }
    if (message == kWalkEnded) {
        searchDone(static_cast<unsigned>(wParam));
        return true;
    }
    return false;
}

void FindFilesDialog::matchesWaiting()
{
    ::PostMessageW(handle(), kMatchesWaiting, 0, 0);
}

void FindFilesDialog::walkEnded(unsigned generation)
{
    ::PostMessageW(handle(), kWalkEnded, generation, 0);
}

void FindFilesDialog::startSearch()
{
    if (m_searching)
        return;
    ::SendMessageW(item(IDC_FIND_RESULTS), LVM_DELETEALLITEMS, 0, 0);
    m_found.clear();
    setText(IDC_FIND_LAST, L"");
    setText(IDC_FIND_COUNT, L"");
    showSearching(true);
    m_job.start(catalogue::nameFromUtf8(utf8Of(text(IDC_FIND_PATTERN)), m_catalogue.NamesAreUtf8));
}

void FindFilesDialog::stopSearch()
{
    if (!m_searching)
        return;
    m_job.pause();
    if (::MessageBoxW(handle(), L"Do you want to stop file searching ?", L"Find File(s)", MB_YESNO | MB_ICONQUESTION) !=
        IDYES) {
        m_job.resume();
        return;
    }
    m_job.stop();
    deliver();
    showSearching(false);
}

void FindFilesDialog::deliver()
{
    const std::vector<search::SearchMatch> batch = m_job.takeMatches();
    if (batch.empty())
        return;
    HWND list = item(IDC_FIND_RESULTS);
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (const search::SearchMatch& match : batch) {
        std::wstring name = wideOf(session::displayName(match.name, m_catalogue.NamesAreUtf8));
        LVITEMW row{};
        row.mask = LVIF_TEXT;
        row.iItem = static_cast<int>(m_found.size());
        row.pszText = name.data();
        const auto at = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
        setCell(list, at, 1, wideOf(session::displayName(match.path, m_catalogue.NamesAreUtf8)));
        setCell(list, at, 2, std::to_wstring(match.size));
        m_found.push_back(match.fileIndex);
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    setText(IDC_FIND_COUNT, std::to_wstring(m_found.size()));
    setText(IDC_FIND_LAST, wideOf(session::displayName(batch.back().name, m_catalogue.NamesAreUtf8)));
}

void FindFilesDialog::searchDone(unsigned generation)
{
    if (!m_job.walkEnded(generation))
        return; // a walk dropped or stopped since
    deliver();
    showSearching(false);
    if (driver() == nullptr)
        return;
    // Driven: tell what was found and go to the first match.
    reportShown();
    if (!m_found.empty()) {
        LVITEMW first{};
        first.stateMask = first.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(item(IDC_FIND_RESULTS), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&first));
    }
    finish(m_found.empty() ? IDCANCEL : IDC_FIND_GOTO);
}

void FindFilesDialog::goTo(int row)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_found.size())
        return;
    m_job.drop();
    m_chosen = m_found[static_cast<std::size_t>(row)];
    close(IDOK);
}

void FindFilesDialog::drive()
{
    setText(IDC_FIND_PATTERN, driver()->input);
    press(IDC_FIND_START);
}

void FileFiltersDialog::init()
{
    ::SendMessageW(item(IDC_FILTER_PATTERN), EM_SETLIMITTEXT, 299, 0);
    for (const std::string& pattern : m_patterns.patterns())
        ::SendMessageW(item(IDC_FILTER_LIST), LB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(wideOf(session::displayName(pattern, m_namesAreUtf8)).c_str()));
    ::EnableWindow(item(IDC_FILTER_REMOVE), m_patterns.empty() ? FALSE : TRUE);
    ::SetFocus(item(IDC_FILTER_PATTERN));
}

bool FileFiltersDialog::command(int id, int code)
{
    if (id == IDC_FILTER_ADD || id == IDOK) {
        add();
        return true;
    }
    if (id == IDC_FILTER_REMOVE) {
        remove();
        return true;
    }
    return DialogBase::command(id, code);
}

void FileFiltersDialog::add()
{
    const std::wstring typed = text(IDC_FILTER_PATTERN);
    const search::AddPatternResult result = m_patterns.add(catalogue::nameFromUtf8(utf8Of(typed), m_namesAreUtf8));
    HWND edit = item(IDC_FILTER_PATTERN);
    if (result != search::AddPatternResult::Added) {
        const std::wstring why = wideOf(search::addPatternMessage(result));
        if (driver() != nullptr)
            driver()->report("dialog File Filters: " + utf8Of(why));
        else
            ::MessageBoxW(handle(), why.c_str(), L"File Filters", MB_OK | MB_ICONERROR);
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        ::SetFocus(edit);
        return;
    }
    // The newest pattern is listed first.
    ::SendMessageW(item(IDC_FILTER_LIST), LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    setText(IDC_FILTER_PATTERN, L"");
    ::EnableWindow(item(IDC_FILTER_REMOVE), TRUE);
    ::SetFocus(edit);
}

void FileFiltersDialog::remove()
{
    HWND list = item(IDC_FILTER_LIST);
    const auto chosen = static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0));
    if (chosen < 0)
        return;
    std::wstring pattern(
        static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(chosen), 0)) + 1, L'\0');
    pattern.resize(static_cast<std::size_t>(
        ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(chosen), reinterpret_cast<LPARAM>(pattern.data()))));
    const std::string held = catalogue::nameFromUtf8(utf8Of(pattern), m_namesAreUtf8);
    m_patterns.remove(std::string_view(held));
    ::SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(chosen), 0);
    const auto left = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    if (left > 0)
        ::SendMessageW(list, LB_SETCURSEL, 0, 0);
    ::EnableWindow(item(IDC_FILTER_REMOVE), left > 0 ? TRUE : FALSE);
}

void FileFiltersDialog::drive()
{
    // Driven: "-PATTERN" removes a listed pattern, anything else is added.
    const std::wstring& input = driver()->input;
    if (!input.empty() && input[0] == L'-') {
        HWND list = item(IDC_FILTER_LIST);
        const LRESULT at = ::SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(input.c_str() + 1));
        ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
        press(IDC_FILTER_REMOVE);
    } else {
        setText(IDC_FILTER_PATTERN, input);
        press(IDC_FILTER_ADD);
    }
    reportShown();
    finish(IDCANCEL);
}

} // namespace sarvik::win32
