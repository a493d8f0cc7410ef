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
        const StepParts parts = stepParts(step);
        const std::wstring& name = parts.name;
        m_stepInput = parts.input;
        selfTestReport("self-test: step " + utf8Of(step));
        // The row named first, then the command on it.
        if (!parts.row.empty() && !selectRowNamed(parts.row)) {
            selfTestReport("self-test: no row named " + utf8Of(parts.row));
            m_exitStatus = 1;
            continue;
        }
        const int command = parts.command;
        const bool cancel = parts.cancel; // Open or Preview, and Stop pressed at once
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
