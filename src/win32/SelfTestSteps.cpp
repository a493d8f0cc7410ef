// SPDX-License-Identifier: GPL-3.0-or-later
// A run through the results page's commands without a user (--do STEP):
// each step chooses the menu command a user would, the boxes it opens play
// their part by themselves, and what they and the list show is told on
// standard output for the test to check.

#include "win32/MainWindow.h"

#include "win32/Resources.h"

#include "platform/WinText.h"
#include "session/DisplayText.h"

#include <commctrl.h>

namespace sarvik::win32 {

using platform::utf8Of;
using platform::wideOf;

bool MainWindow::selectRowNamed(const std::wstring& name)
{
    for (std::size_t p = 0; p < m_rows.size(); ++p) {
        const int row = m_rows.rowAt(static_cast<int>(p));
        if (wideOf(m_rows.text(row, session::Name)) != name)
            continue;
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(m_files, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(m_files, LVM_SETITEMSTATE, p, reinterpret_cast<LPARAM>(&state));
        return true;
    }
    return false;
}

void MainWindow::selfTestListing()
{
    selfTestReport("self-test: " + utf8Of(listedFolderPath()) + " lists " + std::to_string(m_rows.size()) + " rows" +
                   (m_filterNote.empty() ? "" : "; " + utf8Of(m_filterNote)));
    for (std::size_t p = 0; p < m_rows.size(); ++p) {
        const int row = m_rows.rowAt(static_cast<int>(p));
        selfTestReport("  " + m_rows.text(row, session::Name) + "\t" + m_rows.text(row, session::Size) + "\t" +
                       m_rows.text(row, session::Condition));
    }
}

void MainWindow::runSelfTestSteps()
{
    while (m_nextStep < m_selfTest->steps.size()) {
        const std::wstring& step = m_selfTest->steps[m_nextStep++];
        const std::size_t colon = step.find(L':');
        const std::wstring name = step.substr(0, colon);
        m_stepInput = colon == std::wstring::npos ? std::wstring() : step.substr(colon + 1);
        selfTestReport("self-test: step " + utf8Of(step));
        int command = 0;
        // Open or Preview, and Stop pressed at once: "open-cancel:NAME".
        const bool cancel = name == L"open-cancel" || name == L"preview-cancel";
        if (name == L"properties" || name == L"rename" || name == L"preview" || name == L"open" || cancel) {
            // The row named first, then the command on it; "rename:OLD=NEW".
            const std::wstring row = name == L"rename" ? m_stepInput.substr(0, m_stepInput.find(L'=')) : m_stepInput;
            if (name == L"rename")
                m_stepInput = m_stepInput.substr(std::min(m_stepInput.size(), row.size() + 1));
            if (!selectRowNamed(row)) {
                selfTestReport("self-test: no row named " + utf8Of(row));
                m_exitStatus = 1;
                continue;
            }
            command = name == L"rename"                                 ? CMD_RENAME
                      : name == L"preview" || name == L"preview-cancel" ? CMD_PREVIEW
                      : name == L"open" || cancel                       ? CMD_OPEN
                                                                        : CMD_PROPERTIES;
        } else if (name == L"view") {
            command = m_stepInput == L"icons" ? CMD_ICONS : m_stepInput == L"list" ? CMD_LIST : CMD_DETAILS;
        } else {
            static constexpr struct {
                const wchar_t* name;
                int command;
            } kCommands[] = {{L"find", CMD_FIND_FILES},
                             {L"filter", CMD_FILE_FILTERS},
                             {L"drive-info", CMD_DRIVE_INFORMATION},
                             {L"settings", CMD_SETTINGS},
                             {L"about", CMD_ABOUT},
                             {L"save", CMD_SAVE_SNAPSHOT},
                             {L"back", CMD_BACK},
                             {L"load", CMD_LOAD_SNAPSHOT},
                             {L"select-all", CMD_SELECT_ALL},
                             {L"recover-selected", CMD_RECOVER_SELECTED},
                             {L"lost-volumes", CMD_SEARCH_LOST_VOLUMES},
                             {L"deep", CMD_DEEP_SEARCH},
                             {L"deep-stop", CMD_DEEP_SEARCH}};
            for (const auto& known : kCommands)
                if (name == known.name)
                    command = known.command;
        }
        if (!runCommand(command)) {
            selfTestReport("self-test: " + utf8Of(name) + " is not available now");
            continue;
        }
        if (name == L"find" && selectedRow() != nullptr)
            selfTestReport("self-test: went to " + utf8Of(listedFolderPath()) + " \\ " +
                           session::displayName(selectedRow()->name, m_session->catalogue.NamesAreUtf8));
        if (name == L"rename" || name == L"filter" || name == L"load" || name == L"view" ||
            (name == L"open" && m_rows.size() > 0 && selectedRow() == nullptr))
            selfTestListing();
        if (name == L"select-all" || name == L"recover-selected")
            selfTestReport("self-test: " + std::to_string(selectedPositions().size()) + " rows selected");
        if (cancel && m_copying)
            stop();
        if (name == L"deep-stop")
            stop(); // at once: the search ends before it reaches the free space
        if (m_copying || m_deepSearch.running())
            return; // the copy's or the deep search's end goes on with the run
    }
    m_stepInput.clear();
}

} // namespace sarvik::win32
