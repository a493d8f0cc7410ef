// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/DialogBase.h"

#include "win32/Theme.h"

#include "platform/WinText.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <vector>

namespace sarvik::win32 {

using platform::utf8Of;

namespace {

/// Posted to a driven box once it is on screen; its timer ends the hold.
constexpr UINT kDriveNow = WM_APP + 40;
constexpr UINT_PTR kHoldTimer = 7;

std::wstring windowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring className(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

/// A control's text without the '&' of its Alt+letter.
std::wstring shownText(HWND window)
{
    std::wstring text;
    for (wchar_t c : windowText(window))
        if (c != L'&')
            text += c;
    return text;
}

std::vector<std::wstring> listViewRows(HWND list)
{
    std::vector<std::wstring> rows;
    const auto header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const auto columns = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    const auto count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < count; ++r) {
        std::wstring row;
        for (int c = 0; c < columns; ++c) {
            wchar_t cell[512] = {};
            LVITEMW item{};
            item.iSubItem = c;
            item.pszText = cell;
            item.cchTextMax = 512;
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
            row += (c == 0 ? L"" : L"\t") + std::wstring(cell);
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::wstring> listBoxRows(HWND list)
{
    std::vector<std::wstring> rows;
    const auto count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int r = 0; r < count; ++r) {
        std::wstring row(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(r), 0)) + 1,
                         L'\0');
        row.resize(static_cast<std::size_t>(
            ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(row.data()))));
        rows.push_back(row);
    }
    return rows;
}

} // namespace

DialogBase::~DialogBase()
{
    for (HBRUSH brush : {m_darkBrush, m_paneBrush})
        if (brush != nullptr)
            ::DeleteObject(brush);
}

void DialogBase::applyDark()
{
    m_dark = systemAppsAreDark();
    if (!m_dark)
        return;
    setDarkFrame(m_dialog, true);
    m_darkBrush = ::CreateSolidBrush(kDarkBackground);
    m_paneBrush = ::CreateSolidBrush(kDarkPane);
    for (HWND c = ::GetWindow(m_dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        // A themed group box draws its caption in the theme's colour, not the
        // one it is given: unthemed, it takes the dark text.
        if (className(c) == L"Button" && (::GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX)
            ::SetWindowTheme(c, L"", L"");
        if (className(c) != WC_LISTVIEWW)
            continue;
        ::SendMessageW(c, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(kDarkPane));
        ::SendMessageW(c, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(kDarkPane));
        ::SendMessageW(c, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(kDarkText));
    }
}

INT_PTR DialogBase::darkColours(UINT message, HDC dc)
{
    // Edit boxes and lists on the pane's colour, the rest on the box's.
    const bool pane = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
    ::SetTextColor(dc, kDarkText);
    ::SetBkColor(dc, pane ? kDarkPane : kDarkBackground);
    return reinterpret_cast<INT_PTR>(pane ? m_paneBrush : m_darkBrush);
}

INT_PTR DialogBase::run(HINSTANCE instance, HWND owner, int templateId, const DialogDriver* driver)
{
    m_driver = driver;
    return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, &DialogBase::dialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogBase::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<DialogBase*>(lParam);
        self->m_dialog = dialog;
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<DialogBase*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    return self == nullptr ? FALSE : self->handle(message, wParam, lParam);
}

INT_PTR DialogBase::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result = 0;
    switch (message) {
    case WM_INITDIALOG:
        applyDark();
        init();
        if (m_driver != nullptr)
            ::PostMessageW(m_dialog, kDriveNow, 0, 0);
        return TRUE;
    case kDriveNow:
        drive();
        return TRUE;
    case WM_TIMER:
        if (wParam != kHoldTimer)
            break;
        ::KillTimer(m_dialog, kHoldTimer);
        press(m_finishWith);
        return TRUE;
    case WM_COMMAND:
        return command(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        if (m_dark)
            return darkColours(message, reinterpret_cast<HDC>(wParam));
        break;
    case WM_NOTIFY: {
        const INT_PTR answer = notify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
        ::SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, answer);
        return TRUE;
    }
    default:
        break;
    }
    if (this->message(message, wParam, lParam, result)) {
        ::SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, result);
        return TRUE;
    }
    return FALSE;
}

bool DialogBase::command(int id, int /*code*/)
{
    if (id == IDOK || id == IDCANCEL) {
        close(id);
        return true;
    }
    return false;
}

void DialogBase::drive()
{
    reportShown();
    finish(IDOK);
}

void DialogBase::setText(int id, const std::wstring& text) const
{
    ::SetDlgItemTextW(m_dialog, id, text.c_str());
}

std::wstring DialogBase::text(int id) const
{
    return windowText(item(id));
}

void DialogBase::reportShown() const
{
    if (m_driver == nullptr || !m_driver->report)
        return;
    m_driver->report("dialog " + utf8Of(windowText(m_dialog)) + ":");
    std::wstring caption;
    for (HWND c = ::GetWindow(m_dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if ((::GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) == 0)
            continue;
        const std::wstring cls = className(c);
        // A caption is a label that takes an Alt+letter; the values a box
        // shows are labels without (SS_NOPREFIX).
        const bool label = cls == L"Static" && (::GetWindowLongW(c, GWL_STYLE) & SS_NOPREFIX) == 0;
        if (label) {
            if (!caption.empty())
                m_driver->report("  " + utf8Of(caption));
            caption = shownText(c);
            if (!caption.empty() && caption.back() == L':')
                caption.pop_back();
            continue;
        }
        std::vector<std::wstring> lines;
        if (cls == WC_LISTVIEWW)
            lines = listViewRows(c);
        else if (cls == L"ListBox")
            lines = listBoxRows(c);
        else if (cls == L"Button" && (::GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) >= BS_CHECKBOX &&
                 (::GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX)
            lines.push_back((::SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"[x] " : L"[ ] ") + shownText(c));
        else if (cls != L"Button")
            lines.push_back(shownText(c));
        if (!caption.empty()) {
            m_driver->report("  " + utf8Of(caption) + ": " + (lines.empty() ? std::string() : utf8Of(lines.front())));
            caption.clear();
            if (!lines.empty())
                lines.erase(lines.begin());
        }
        for (const std::wstring& line : lines)
            m_driver->report("  " + utf8Of(line));
    }
    if (!caption.empty())
        m_driver->report("  " + utf8Of(caption));
}

void DialogBase::finish(int id)
{
    m_finishWith = id;
    if (m_driver == nullptr || m_driver->holdMs == 0)
        press(id);
    else
        ::SetTimer(m_dialog, kHoldTimer, m_driver->holdMs, nullptr);
}

void DialogBase::press(int id) const
{
    ::SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id)));
}

} // namespace sarvik::win32
