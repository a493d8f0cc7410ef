// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/InfoDialogs.h"

#include "win32/Resources.h"

#include "platform/WinText.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <cwchar>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

namespace {

void fillNumbers(HWND combo, int most, int chosen)
{
    for (int n = 1; n <= most; ++n)
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(n).c_str()));
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(std::clamp(chosen, 1, most) - 1), 0);
}

int chosenNumber(HWND combo)
{
    return static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)) + 1;
}

} // namespace

void PropertiesDialog::init()
{
    setText(IDC_PROP_NAME, wideOf(m_values.name));
    setText(IDC_PROP_PATH, wideOf(m_values.folder));
    setText(IDC_PROP_SIZE, wideOf(m_values.size));
    setText(IDC_PROP_CONTAINS, wideOf(m_values.contents));
    setText(IDC_PROP_CONDITION, wideOf(m_values.condition));
    setText(IDC_PROP_CLUSTERS, wideOf(m_values.clusters));
    setText(IDC_PROP_CREATED, wideOf(m_values.created));
    setText(IDC_PROP_MODIFIED, wideOf(m_values.modified));
    // A file contains nothing: its line is not shown.
    for (int id : {IDC_PROP_CONTAINS_CAPTION, IDC_PROP_CONTAINS})
        ::ShowWindow(item(id), m_values.isFolder ? SW_SHOW : SW_HIDE);
}

void RenameDialog::init()
{
    setText(IDC_RENAME_OLD, L"Rename " + m_old + L" to:");
    setText(IDC_RENAME_EDIT, m_old);
    ::SendMessageW(item(IDC_RENAME_EDIT), EM_SETLIMITTEXT, 255, 0);
    ::SendMessageW(item(IDC_RENAME_EDIT), EM_SETSEL, 0, -1);
    ::SetFocus(item(IDC_RENAME_EDIT));
}

bool RenameDialog::command(int id, int code)
{
    if (id == IDOK)
        m_new = text(IDC_RENAME_EDIT);
    return DialogBase::command(id, code);
}

void RenameDialog::drive()
{
    setText(IDC_RENAME_EDIT, driver()->input);
    reportShown();
    finish(IDOK);
}

void DriveInformationDialog::init()
{
    const std::array<const std::string*, 8> values = {
        &m_values.fileSystem, &m_values.startSector, &m_values.directories, &m_values.files,
        &m_values.spc,        &m_values.firstFat,    &m_values.secondFat,   &m_values.mftStart};
    for (std::size_t i = 0; i < values.size(); ++i)
        setText(IDC_DRIVE_VALUE0 + static_cast<int>(i), wideOf(*values[i]));
}

void SettingsDialog::init()
{
    fillNumbers(item(IDC_SET_SECTORS), kMostSectorsPerRead, m_settings.SectorsPerRead);
    fillNumbers(item(IDC_SET_RETRIES), kMostRetries, m_settings.BadSectorRetries);
    const int policy = m_settings.DuplicatePolicy == recovery::DuplicatePolicy::Overwrite ? IDC_SET_OVERWRITE
                       : m_settings.DuplicatePolicy == recovery::DuplicatePolicy::Skip    ? IDC_SET_SKIP
                                                                                          : IDC_SET_RENAME;
    ::CheckRadioButton(handle(), IDC_SET_RENAME, IDC_SET_SKIP, policy);
    ::CheckDlgButton(handle(), IDC_SET_TIMES, m_settings.KeepOriginalTimes ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(handle(), IDC_SET_THOROUGH, m_settings.ThoroughScan ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(handle(), IDC_SET_DEEP, m_settings.DeepSearch ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(item(IDC_SET_DEEP), m_settings.ThoroughScan ? TRUE : FALSE);
}

bool SettingsDialog::command(int id, int code)
{
    if (id == IDC_SET_THOROUGH) {
        // The deep search goes with the thorough rules only.
        ::EnableWindow(item(IDC_SET_DEEP), ::IsDlgButtonChecked(handle(), IDC_SET_THOROUGH) == BST_CHECKED);
        return true;
    }
    if (id == IDOK) {
        SettingsChoices choices;
        choices.sectorsPerRead = chosenNumber(item(IDC_SET_SECTORS));
        choices.retries = chosenNumber(item(IDC_SET_RETRIES));
        choices.duplicatePolicy =
            ::IsDlgButtonChecked(handle(), IDC_SET_OVERWRITE) == BST_CHECKED ? recovery::DuplicatePolicy::Overwrite
            : ::IsDlgButtonChecked(handle(), IDC_SET_SKIP) == BST_CHECKED    ? recovery::DuplicatePolicy::Skip
                                                                             : recovery::DuplicatePolicy::Rename;
        choices.keepTimes = ::IsDlgButtonChecked(handle(), IDC_SET_TIMES) == BST_CHECKED;
        choices.thorough = ::IsDlgButtonChecked(handle(), IDC_SET_THOROUGH) == BST_CHECKED;
        choices.deep = ::IsDlgButtonChecked(handle(), IDC_SET_DEEP) == BST_CHECKED;
        m_settings = chosenSettings(m_settings, choices);
    }
    return DialogBase::command(id, code);
}

void SettingsDialog::drive()
{
    // The driver's input names the choices to make: "skip", "overwrite",
    // "rename", "sectors=N".
    const SettingsStep step = settingsStep(driver()->input);
    if (step.duplicatePolicy)
        ::CheckRadioButton(handle(), IDC_SET_RENAME, IDC_SET_SKIP,
                           *step.duplicatePolicy == recovery::DuplicatePolicy::Skip        ? IDC_SET_SKIP
                           : *step.duplicatePolicy == recovery::DuplicatePolicy::Overwrite ? IDC_SET_OVERWRITE
                                                                                           : IDC_SET_RENAME);
    if (step.sectorsPerRead)
        ::SendMessageW(item(IDC_SET_SECTORS), CB_SETCURSEL, static_cast<WPARAM>(*step.sectorsPerRead - 1), 0);
    if (!step.understood && !driver()->input.empty())
        driver()->report("self-test: the settings box takes skip, overwrite, rename or sectors=1..100");
    reportShown();
    finish(IDOK);
}

void AboutDialog::init()
{
    setText(IDC_ABOUT_TEXT, L"Velmora Sarvik Undelete " + wideOf(SARVIK_VERSION) +
                                L"\n\nBrings back deleted files and folders from FAT12, FAT16, FAT32, exFAT and NTFS "
                                L"volumes.\nCopyright 2026 Velmora. GPL-3.0-or-later; no warranty.");
}

} // namespace sarvik::win32
