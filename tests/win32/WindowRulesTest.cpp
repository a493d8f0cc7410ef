// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows desktop program's rules for its commands and its texts.

#include "win32/WindowRules.h"

#include "win32/Arguments.h"
#include "win32/Resources.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace sarvik::win32 {
namespace {

/// The state of each command `menuCommandStates` lists, by id; a command
/// listed twice fails the test (the second would silently win).
std::map<int, bool> statesOf(const WindowState& state)
{
    std::map<int, bool> states;
    for (const CommandState& command : menuCommandStates(state))
        EXPECT_TRUE(states.emplace(command.id, command.enabled).second) << "command " << command.id << " twice";
    return states;
}

TEST(DesktopWindowRules, EachPageEnablesOnlyWhatCanRunThere)
{
    const int resultsOnly[] = {
        CMD_RECOVER_SELECTED,  CMD_RECOVER_ALL, CMD_SAVE_SNAPSHOT, CMD_FIND_FILES, CMD_FILE_FILTERS, CMD_DEEP_SEARCH,
        CMD_DRIVE_INFORMATION, CMD_BACK,        CMD_ICONS,         CMD_LIST,       CMD_DETAILS};
    auto drives = statesOf({PageKind::Drives, false, false});
    for (int id : resultsOnly)
        EXPECT_FALSE(drives.at(id)) << id << " on the drive page";
    EXPECT_TRUE(drives.at(CMD_LOAD_SNAPSHOT));
    EXPECT_TRUE(drives.at(CMD_ADD_DISK_IMAGE));
    EXPECT_TRUE(drives.at(CMD_SEARCH_LOST_VOLUMES));
    EXPECT_TRUE(drives.at(CMD_SETTINGS));
    EXPECT_FALSE(drives.at(CMD_STOP));

    auto scanning = statesOf({PageKind::Scanning, false, true});
    for (int id : resultsOnly)
        EXPECT_FALSE(scanning.at(id)) << id << " while scanning";
    for (int id : {CMD_LOAD_SNAPSHOT, CMD_ADD_DISK_IMAGE, CMD_SEARCH_LOST_VOLUMES, CMD_SETTINGS})
        EXPECT_FALSE(scanning.at(id)) << id << " while scanning";
    EXPECT_TRUE(scanning.at(CMD_STOP));

    auto results = statesOf({PageKind::Results, false, false});
    for (int id : resultsOnly)
        EXPECT_TRUE(results.at(id)) << id << " on the results page";
    EXPECT_FALSE(results.at(CMD_LOAD_SNAPSHOT)); // it would replace the list shown
    EXPECT_FALSE(results.at(CMD_ADD_DISK_IMAGE));
    EXPECT_FALSE(results.at(CMD_STOP));
    EXPECT_TRUE(results.at(CMD_SETTINGS));
}

TEST(DesktopWindowRules, ACopyRunningGraysWhatReadsOrReplacesTheResults)
{
    auto copying = statesOf({PageKind::Results, true, false});
    for (int id : {CMD_RECOVER_SELECTED, CMD_RECOVER_ALL, CMD_SAVE_SNAPSHOT, CMD_FIND_FILES, CMD_FILE_FILTERS,
                   CMD_DEEP_SEARCH, CMD_BACK, CMD_SETTINGS, CMD_LOAD_SNAPSHOT})
        EXPECT_FALSE(copying.at(id)) << id << " while a copy runs";
    EXPECT_TRUE(copying.at(CMD_STOP));
    // A deep search of the results reads the volume: Stop, and no second search or settings.
    WindowState searching{PageKind::Results, false, false};
    searching.deepSearchReading = true;
    auto deep = statesOf(searching);
    EXPECT_TRUE(deep.at(CMD_STOP));
    EXPECT_FALSE(deep.at(CMD_DEEP_SEARCH));
    EXPECT_FALSE(deep.at(CMD_SETTINGS));
    EXPECT_TRUE(deep.at(CMD_FIND_FILES)); // the results stay browsable
    WindowState searched{PageKind::Results, false, false};
    searched.deepSearchUnavailable = true;
    EXPECT_FALSE(statesOf(searched).at(CMD_DEEP_SEARCH));
    EXPECT_TRUE(statesOf(searched).at(CMD_RECOVER_ALL));
    // A scan's worker not yet ended (Back pressed as it stops): nothing loads over it.
    auto ending = statesOf({PageKind::Drives, false, true});
    EXPECT_FALSE(ending.at(CMD_LOAD_SNAPSHOT));
    EXPECT_FALSE(ending.at(CMD_SEARCH_LOST_VOLUMES));
}

TEST(DesktopWindowRules, RightClickItemsRunTheMenuBarsCommands)
{
    EXPECT_EQ(menuBarCommand(CMD_MENU_RECOVER_SELECTED), CMD_RECOVER_SELECTED);
    EXPECT_EQ(menuBarCommand(CMD_MENU_RECOVER_ALL), CMD_RECOVER_ALL);
    EXPECT_EQ(menuBarCommand(CMD_MENU_ICONS), CMD_ICONS);
    EXPECT_EQ(menuBarCommand(CMD_MENU_LIST), CMD_LIST);
    EXPECT_EQ(menuBarCommand(CMD_MENU_DETAILS), CMD_DETAILS);
    EXPECT_EQ(menuBarCommand(CMD_MENU_FIND_FILES), CMD_FIND_FILES);
    EXPECT_EQ(menuBarCommand(CMD_MENU_SETTINGS), CMD_SETTINGS);
    // The right-click menu's own commands stay theirs.
    EXPECT_EQ(menuBarCommand(CMD_OPEN), CMD_OPEN);
    EXPECT_EQ(menuBarCommand(CMD_PROPERTIES), CMD_PROPERTIES);
}

TEST(DesktopWindowRules, StatusBarTellsWhatWasJustDoneBeforeTheFilter)
{
    StatusBarState state;
    state.page = PageKind::Results;
    state.rows = 12;
    state.selected = 3;
    auto texts = statusBarTexts(state);
    EXPECT_EQ(texts[0], L"Select the files to recover.");
    EXPECT_EQ(texts[1], L"12 items listed");
    EXPECT_EQ(texts[2], L"3 selected");
    state.filterNote = L"File filter in force: *.bin";
    EXPECT_EQ(statusBarTexts(state)[0], L"File filter in force: *.bin");
    state.note = L"Snapshot saved as C:\\cards\\snap1.rvu";
    EXPECT_EQ(statusBarTexts(state)[0], L"Snapshot saved as C:\\cards\\snap1.rvu");
    state.rows = 1;
    EXPECT_EQ(statusBarTexts(state)[1], L"1 item listed");

    StatusBarState drives;
    drives.drives = 4;
    texts = statusBarTexts(drives);
    EXPECT_EQ(texts[0], L"Choose a drive or a disk image, then Next.");
    EXPECT_EQ(texts[1], L"4 drives and images");
    EXPECT_TRUE(texts[2].empty());

    StatusBarState scanning;
    scanning.page = PageKind::Scanning;
    scanning.rows = 7; // the list of the session before: not told while scanning
    texts = statusBarTexts(scanning);
    EXPECT_EQ(texts[0], L"Scanning...");
    EXPECT_TRUE(texts[1].empty());
    EXPECT_TRUE(texts[2].empty());
}

TEST(DesktopWindowRules, StepsSplitAtTheirFirstColonOnly)
{
    // A path after the step's name keeps its drive's colon.
    StepParts load = stepParts(L"load:Z:\\work\\snap1.rvu");
    EXPECT_EQ(load.name, L"load");
    EXPECT_EQ(load.input, L"Z:\\work\\snap1.rvu");
    EXPECT_TRUE(load.row.empty());
    EXPECT_EQ(load.command, CMD_LOAD_SNAPSHOT);

    StepParts rename = stepParts(L"rename:Spill=Over=flow");
    EXPECT_EQ(rename.row, L"Spill");
    EXPECT_EQ(rename.input, L"Over=flow");
    EXPECT_EQ(rename.command, CMD_RENAME);
    StepParts noValue = stepParts(L"rename:Spill");
    EXPECT_EQ(noValue.row, L"Spill");
    EXPECT_TRUE(noValue.input.empty());

    StepParts properties = stepParts(L"properties:a:b.txt");
    EXPECT_EQ(properties.row, L"a:b.txt");
    EXPECT_EQ(properties.command, CMD_PROPERTIES);
    EXPECT_FALSE(properties.cancel);

    StepParts cancel = stepParts(L"preview-cancel:Large archive.dat");
    EXPECT_TRUE(cancel.cancel);
    EXPECT_EQ(cancel.command, CMD_PREVIEW);
    EXPECT_EQ(cancel.row, L"Large archive.dat");
    EXPECT_EQ(stepParts(L"open-cancel:x").command, CMD_OPEN);
    EXPECT_TRUE(stepParts(L"open-cancel:x").cancel);

    EXPECT_EQ(stepParts(L"view:icons").command, CMD_ICONS);
    EXPECT_EQ(stepParts(L"view:list").command, CMD_LIST);
    EXPECT_EQ(stepParts(L"view").command, CMD_DETAILS);
    EXPECT_EQ(stepParts(L"open-image").command, CMD_ADD_DISK_IMAGE);
    EXPECT_EQ(stepParts(L"no-such-step").command, 0);
}

TEST(DesktopWindowRules, EveryStepTheCommandLineTakesChoosesACommand)
{
    std::set<int> commands;
    for (const std::wstring& name : selfTestSteps()) {
        const StepParts parts = stepParts(name + L":x");
        EXPECT_NE(parts.command, 0) << std::string(name.begin(), name.end()) << " chooses no command";
        commands.insert(parts.command);
    }
    // Only the cancelled Open and Preview, and the deep search stopped at once,
    // share their command with another step.
    EXPECT_EQ(commands.size(), selfTestSteps().size() - 3);
}

TEST(DesktopWindowRules, ProgressLineTellsWhatIsKnown)
{
    EXPECT_EQ(durationText(std::chrono::seconds(0)), "0:00:00");
    EXPECT_EQ(durationText(std::chrono::seconds(65)), "0:01:05");
    EXPECT_EQ(durationText(std::chrono::seconds(3725)), "1:02:05");
    EXPECT_EQ(durationText(std::chrono::seconds(100 * 3600 + 59)), "100:00:59");
    EXPECT_EQ(durationText(std::chrono::seconds(-5)), "0:00:00"); // never a negative time left

    EXPECT_EQ(scanProgressLine(3, 20, "", std::nullopt), "Folders: 3   Files: 20");
    EXPECT_EQ(scanProgressLine(3, 20, "Reading the MFT", std::chrono::seconds(61)),
              "Folders: 3   Files: 20   Reading the MFT   Time left: 0:01:01");
    EXPECT_EQ(scanProgressLine(0, 0, "", std::chrono::seconds(0)), "Folders: 0   Files: 0   Time left: 0:00:00");
}

TEST(DesktopWindowRules, FormatsLineNamesEachUnreadFormatOnce)
{
    EXPECT_EQ(unreadableFormatsLine("raw images", {}), "");
    EXPECT_EQ(unreadableFormatsLine("raw images", {"VMDK"}),
              "This Windows build reads raw images; it does not read VMDK.");
    EXPECT_EQ(unreadableFormatsLine("raw images", {"VMDK", "VHD"}),
              "This Windows build reads raw images; it does not read VMDK or VHD.");
    EXPECT_EQ(unreadableFormatsLine("raw images; E01", {"VMDK", "VHD", "QCOW2"}),
              "This Windows build reads raw images; E01; it does not read VMDK, VHD or QCOW2.");
    EXPECT_EQ(containerRefusalText("VMware disk (VMDK)", "raw images", "disk.vmdk"),
              "This Windows build does not read VMware disk (VMDK) images; it reads raw images. disk.vmdk opens in "
              "the Linux program, or here once copied to a raw image (qemu-img convert -O raw).");
}

TEST(DesktopWindowRules, MenuTextSplitsAtItsTab)
{
    MenuText open = splitMenuText(L"&Open\tEnter");
    EXPECT_EQ(open.label, L"&Open");
    EXPECT_EQ(open.shortcut, L"Enter");
    MenuText plain = splitMenuText(L"Open &With...");
    EXPECT_EQ(plain.label, L"Open &With...");
    EXPECT_TRUE(plain.shortcut.empty());
    EXPECT_EQ(splitMenuText(L"&Recover All...\tCtrl+Shift+R").shortcut, L"Ctrl+Shift+R");
}

TEST(DesktopWindowRules, MenuKeysFindTheirItem)
{
    EXPECT_EQ(menuMnemonic(L"&Recover Selected..."), L'r');
    EXPECT_EQ(menuMnemonic(L"Recover &All..."), L'a');
    EXPECT_EQ(menuMnemonic(L"Se&ttings..."), L't');
    EXPECT_EQ(menuMnemonic(L"Save && &Close"), L'c'); // "&&" shows an ampersand
    EXPECT_EQ(menuMnemonic(L"Tom && Jerry"), 0);
    EXPECT_EQ(menuMnemonic(L"Trailing&"), 0);
    EXPECT_EQ(menuMnemonic(L"&\u00c9diter"), L'\u00e9');
    EXPECT_EQ(menuMnemonic(L"&\u0424\u0430\u0439\u043b"), L'\u0444');

    // The View menu: Icons, List, Details, a separator, Back, Stop.
    const std::vector<std::wstring> view = {L"Ico&ns", L"&List", L"&Details", L"", L"&Back", L"&Stop"};
    EXPECT_EQ(itemForMnemonic(view, L'n'), 0u);
    EXPECT_EQ(itemForMnemonic(view, L'D'), 2u); // Shift held, or Caps Lock
    EXPECT_EQ(itemForMnemonic(view, L's'), 5u);
    EXPECT_FALSE(itemForMnemonic(view, L'x'));
    EXPECT_FALSE(itemForMnemonic(view, 0));
    // Two items with one key: the first.
    EXPECT_EQ(itemForMnemonic({L"&Open", L"&Other"}, L'o'), 0u);
}

} // namespace
} // namespace sarvik::win32
