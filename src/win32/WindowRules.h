// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the main window shows and allows, worked out from its state: which
// commands of the menu bar and the toolbar are enabled, the status bar's
// texts, the command a --do step chooses, the lines of the scan's progress and
// of the Open Disk Image box, a menu item's label and shortcut.
//
// Plain C++ (no Windows headers), so that it is tested on every system.

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::win32 {

/// The main window's three pages, in the order the steps go.
enum class PageKind { Drives, Scanning, Results };

/// What the window is doing, as far as its commands care.
struct WindowState {
    PageKind page = PageKind::Drives;
    bool copying = false;               ///< a copy runs: a recovery, or a file read to open or preview
    bool scanRunning = false;           ///< the scan's worker has not ended
    bool deepSearchReading = false;     ///< a deep search of the results reads the volume
    bool deepSearchUnavailable = false; ///< the volume cannot be searched so, or was already
};

/// A command of the menu bar (and of the toolbar's button for it) and whether it may run.
struct CommandState {
    int id;
    bool enabled;
};

/// Every command of the menu bar the state grays or enables, in the order of
/// the menus; a command not listed is always enabled.
[[nodiscard]] std::vector<CommandState> menuCommandStates(const WindowState& state);

/// The menu bar's command that a right-click menu item stands for; `id`
/// itself when it has no other.
[[nodiscard]] int menuBarCommand(int id);

/// What the status bar tells of the window.
struct StatusBarState {
    PageKind page = PageKind::Drives;
    std::size_t drives = 0;   ///< the drive page's drives and images
    std::size_t rows = 0;     ///< the file list's rows
    std::size_t selected = 0; ///< of them, those selected
    std::wstring filterNote;  ///< the filter in force, empty for none
    std::wstring note;        ///< what the last command did (a snapshot saved), empty for none
    std::wstring deepPhase;   ///< how far a deep search of the results has got, empty for none
};

/// The status bar's three parts: where the user is (or what was just done),
/// what is listed, what is selected.
[[nodiscard]] std::array<std::wstring, 3> statusBarTexts(const StatusBarState& state);

/// A --do step split into what it names: "rename:OLD=NEW" is the row OLD and
/// the value NEW; "properties:NAME" is the row NAME and no value.
struct StepParts {
    std::wstring name;   ///< the step's name, before the first ':'
    std::wstring row;    ///< the row the step chooses first; empty when it chooses none
    std::wstring input;  ///< the value the command's box is given
    int command = 0;     ///< the menu command it chooses; 0 for a name that chooses none
    bool cancel = false; ///< Stop is pressed as the command's read starts
};
[[nodiscard]] StepParts stepParts(const std::wstring& step);

/// A time left as hours, minutes and seconds: "0:01:05".
[[nodiscard]] std::string durationText(std::chrono::seconds left);

/// The scan's progress line: "Folders: 3   Files: 20", then the scan's status
/// and the time left where they are known.
[[nodiscard]] std::string scanProgressLine(std::size_t folders, std::size_t files, const std::string& status,
                                           std::optional<std::chrono::seconds> left);

/// The Open Disk Image box's line on the containers this build does not read
/// (`unreadable`, by their names); empty when it reads them all.
[[nodiscard]] std::string unreadableFormatsLine(const std::string& readable,
                                                const std::vector<std::string>& unreadable);

/// Why the image `fileName`, a container of the format `formatName`, is not listed.
[[nodiscard]] std::string containerRefusalText(const std::string& formatName, const std::string& readable,
                                               const std::string& fileName);

/// A menu item's text ("&Open\tEnter") as its label ("&Open") and the shortcut
/// shown right of it ("Enter", empty for none).
struct MenuText {
    std::wstring label;
    std::wstring shortcut;
};
[[nodiscard]] MenuText splitMenuText(const std::wstring& text);

/// The key that chooses a menu item by its label: the character after its
/// single '&' ("&&" is an ampersand shown), lower case where it has one; 0 for none.
[[nodiscard]] wchar_t menuMnemonic(const std::wstring& label);

/// Which of `labels` (a menu's items, in order) the key `typed` chooses: the
/// first whose mnemonic it is, in either case; none when no item has it.
[[nodiscard]] std::optional<std::size_t> itemForMnemonic(const std::vector<std::wstring>& labels, wchar_t typed);

} // namespace sarvik::win32
