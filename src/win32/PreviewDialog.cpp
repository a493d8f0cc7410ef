// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/PreviewDialog.h"

#include "win32/PreviewText.h"
#include "win32/Resources.h"

#include "catalogue/ReadProgress.h"
#include "platform/WinText.h"

#include <algorithm>
#include <sstream>
#include <string_view>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

/// The most hex lines shown (64 KiB of the file).
constexpr std::size_t kHexLines = 4096;
/// How many of the shown lines a run without a user tells.
constexpr int kReportedLines = 6;
/// How a PDF file starts.
constexpr std::string_view kPdfMagic = "%PDF-";

} // namespace

PreviewDialog::~PreviewDialog()
{
    if (m_fixed != nullptr)
        ::DeleteObject(m_fixed);
    if (m_picture.bitmap != nullptr)
        ::DeleteObject(m_picture.bitmap);
}

void PreviewDialog::init()
{
    ::SetWindowTextW(handle(), (L"Preview - " + wideOf(m_content.name)).c_str());
    std::string info = std::to_string(m_content.bytes.size()) + " of " + std::to_string(m_content.fileSize) +
                       " bytes read (" + catalogue::byteSizeText(m_content.fileSize) + ")";
    RECT room{};
    ::GetClientRect(item(IDC_PREVIEW_TEXT), &room);
    m_picture = decodePicture(m_content.bytes, room.right - 4, room.bottom - 4);
    if (m_picture.bitmap != nullptr)
        info += "; a picture of " + std::to_string(m_picture.width) + " x " + std::to_string(m_picture.height);
    if (m_content.intact < m_content.bytes.size())
        info += "; from byte " + std::to_string(m_content.intact) +
                " on they lie in clusters now used by other files, or read as zeros";
    // A PDF's pages are drawn by the Linux program only; here the user is told
    // where to see them instead of finding a hex dump unexplained.
    if (m_content.bytes.size() >= kPdfMagic.size() &&
        std::equal(kPdfMagic.begin(), kPdfMagic.end(), m_content.bytes.begin(),
                   [](char c, std::byte b) { return static_cast<std::byte>(c) == b; }))
        info += "\nThe preview of PDF files is not in the Windows program; Open shows the file in its own program.";
    setText(IDC_PREVIEW_INFO, wideOf(info));
    // The hex columns line up in a fixed-pitch font of the box's height.
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(9, static_cast<int>(::GetDpiForWindow(handle())), 72);
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    wcscpy_s(font.lfFaceName, L"Consolas");
    m_fixed = ::CreateFontIndirectW(&font);
    ::SendMessageW(item(IDC_PREVIEW_TEXT), WM_SETFONT, reinterpret_cast<WPARAM>(m_fixed), TRUE);
    ::SendMessageW(item(IDC_PREVIEW_TEXT), EM_SETLIMITTEXT, 0, 0);
    const bool text = previewText(m_content.bytes).has_value();
    ::EnableWindow(item(IDC_PREVIEW_AS_TEXT), text ? TRUE : FALSE);
    ::EnableWindow(item(IDC_PREVIEW_AS_PICTURE), m_picture.bitmap != nullptr ? TRUE : FALSE);
    ::SendMessageW(item(IDC_PREVIEW_PICTURE), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_picture.bitmap));
    show(m_picture.bitmap != nullptr ? Shown::Picture : text ? Shown::Text : Shown::Hex);
}

void PreviewDialog::show(Shown shown)
{
    ::CheckRadioButton(handle(), IDC_PREVIEW_AS_PICTURE, IDC_PREVIEW_AS_HEX,
                       shown == Shown::Picture ? IDC_PREVIEW_AS_PICTURE
                       : shown == Shown::Text  ? IDC_PREVIEW_AS_TEXT
                                               : IDC_PREVIEW_AS_HEX);
    ::ShowWindow(item(IDC_PREVIEW_PICTURE), shown == Shown::Picture ? SW_SHOW : SW_HIDE);
    ::ShowWindow(item(IDC_PREVIEW_TEXT), shown == Shown::Picture ? SW_HIDE : SW_SHOW);
    if (shown == Shown::Picture)
        return;
    const std::optional<std::string> text = shown == Shown::Hex ? std::nullopt : previewText(m_content.bytes);
    setText(IDC_PREVIEW_TEXT, wideOf(text ? *text : hexLines(m_content.bytes, kHexLines)));
}

bool PreviewDialog::command(int id, int code)
{
    if (id == IDC_PREVIEW_AS_PICTURE || id == IDC_PREVIEW_AS_TEXT || id == IDC_PREVIEW_AS_HEX) {
        show(id == IDC_PREVIEW_AS_PICTURE ? Shown::Picture : id == IDC_PREVIEW_AS_TEXT ? Shown::Text : Shown::Hex);
        return true;
    }
    return DialogBase::command(id, code);
}

void PreviewDialog::drive()
{
    // The box's first lines, and which way they are shown.
    const DialogDriver& d = *driver();
    d.report("dialog " + utf8Of(text(IDC_PREVIEW_INFO)));
    const bool picture = ::IsDlgButtonChecked(handle(), IDC_PREVIEW_AS_PICTURE) == BST_CHECKED;
    d.report(std::string("  shown as ") + (picture ? "picture"
                                           : ::IsDlgButtonChecked(handle(), IDC_PREVIEW_AS_HEX) == BST_CHECKED
                                               ? "hex"
                                               : "text"));
    if (picture)
        d.report("  picture " + std::to_string(m_picture.width) + " x " + std::to_string(m_picture.height));
    std::istringstream lines(utf8Of(text(IDC_PREVIEW_TEXT)));
    std::string line;
    for (int n = 0; n < kReportedLines && std::getline(lines, line); ++n) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        d.report("  | " + line);
    }
    finish(IDOK);
}

} // namespace sarvik::win32
