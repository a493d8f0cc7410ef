// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The common file dialogs' last step, shared by every chooser of the program.

#include <windows.h>

#include <shobjidl.h>

#include <string>

namespace sarvik::win32 {

/// Shows `dialog` over `owner` and releases it; the file-system path chosen,
/// or empty when the user cancelled or the choice has no such path.
inline std::wstring shownFileSystemPath(IFileDialog* dialog, HWND owner)
{
    std::wstring chosen;
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&item))) {
        wchar_t* path = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
            chosen = path;
            ::CoTaskMemFree(path);
        }
        item->Release();
    }
    dialog->Release();
    return chosen;
}

} // namespace sarvik::win32
