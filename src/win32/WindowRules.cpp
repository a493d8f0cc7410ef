// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/WindowRules.h"

#include "win32/Resources.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace sarvik::win32 {

namespace {

/// The commands that act on the results: grayed on every other page and while a copy runs.
constexpr int kResultsOnly[] = {
    CMD_RECOVER_SELECTED, CMD_RECOVER_ALL,  CMD_SAVE_SNAPSHOT,     CMD_ICONS, CMD_LIST, CMD_DETAILS,
    CMD_FIND_FILES,       CMD_FILE_FILTERS, CMD_DRIVE_INFORMATION, CMD_BACK};

/// The steps that choose a row of the file list before their command.
bool choosesRow(const std::wstring& name)
{
    return name == L"properties" || name == L"rename" || name == L"preview" || name == L"open" ||
           name == L"open-cancel" || name == L"preview-cancel";
}

} // namespace

std::vector<CommandState> menuCommandStates(const WindowState& state)
{
    const bool results = state.page == PageKind::Results && !state.copying;
    const bool busy = state.page == PageKind::Scanning || state.copying || state.deepSearchReading;
    const bool drives = state.page == PageKind::Drives;
    std::vector<CommandState> states;
    for (int id : kResultsOnly)
        states.push_back({id, results});
    states.push_back({CMD_DEEP_SEARCH, results && !state.deepSearchReading && !state.deepSearchUnavailable});
    // Loading replaces the catalogue: never while a worker reads it.
    states.push_back({CMD_LOAD_SNAPSHOT, drives && !state.scanRunning && !state.copying});
    states.push_back({CMD_ADD_DISK_IMAGE, drives});
    states.push_back({CMD_SEARCH_LOST_VOLUMES, drives && !state.scanRunning});
    states.push_back({CMD_SETTINGS, !busy});
    states.push_back({CMD_STOP, busy});
    return states;
}

int menuBarCommand(int id)
{
    static constexpr struct {
        int from, to;
    } kSame[] = {{CMD_MENU_RECOVER_SELECTED, CMD_RECOVER_SELECTED},
                 {CMD_MENU_RECOVER_ALL, CMD_RECOVER_ALL},
                 {CMD_MENU_ICONS, CMD_ICONS},
                 {CMD_MENU_LIST, CMD_LIST},
                 {CMD_MENU_DETAILS, CMD_DETAILS},
                 {CMD_MENU_FIND_FILES, CMD_FIND_FILES},
                 {CMD_MENU_SETTINGS, CMD_SETTINGS}};
    for (const auto& same : kSame)
        if (id == same.from)
            return same.to;
    return id;
}

std::array<std::wstring, 3> statusBarTexts(const StatusBarState& state)
{
    std::array<std::wstring, 3> parts;
    switch (state.page) {
    case PageKind::Drives:
        parts[0] = state.note.empty() ? L"Choose a drive or a disk image, then Next." : state.note;
        parts[1] = std::to_wstring(state.drives) + (state.drives == 1 ? L" drive or image" : L" drives and images");
        break;
    case PageKind::Scanning:
        parts[0] = L"Scanning...";
        break;
    case PageKind::Results:
        // What was just done first, then the filter the list is narrowed by.
        parts[0] = !state.deepPhase.empty()    ? state.deepPhase
                   : !state.note.empty()       ? state.note
                   : !state.filterNote.empty() ? state.filterNote
                                               : L"Select the files to recover.";
        parts[1] = std::to_wstring(state.rows) + (state.rows == 1 ? L" item listed" : L" items listed");
        parts[2] = std::to_wstring(state.selected) + L" selected";
        break;
    }
    return parts;
}

StepParts stepParts(const std::wstring& step)
{
    StepParts parts;
    const std::size_t colon = step.find(L':');
    parts.name = step.substr(0, colon);
    parts.input = colon == std::wstring::npos ? std::wstring() : step.substr(colon + 1);
    const std::wstring& name = parts.name;
    if (choosesRow(name)) {
        if (name == L"rename") {
            const std::size_t equals = parts.input.find(L'=');
            parts.row = parts.input.substr(0, equals);
            parts.input = equals == std::wstring::npos ? std::wstring() : parts.input.substr(equals + 1);
        } else {
            parts.row = parts.input;
        }
        parts.cancel = name == L"open-cancel" || name == L"preview-cancel";
        parts.command = name == L"rename"                                 ? CMD_RENAME
                        : name == L"preview" || name == L"preview-cancel" ? CMD_PREVIEW
                        : name == L"open" || name == L"open-cancel"       ? CMD_OPEN
                                                                          : CMD_PROPERTIES;
        return parts;
    }
    if (name == L"view") {
        parts.command = parts.input == L"icons" ? CMD_ICONS : parts.input == L"list" ? CMD_LIST : CMD_DETAILS;
        return parts;
    }
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
                     {L"open-image", CMD_ADD_DISK_IMAGE},
                     {L"deep", CMD_DEEP_SEARCH},
                     {L"deep-stop", CMD_DEEP_SEARCH}};
    for (const auto& known : kCommands)
        if (name == known.name)
            parts.command = known.command;
    return parts;
}

std::string durationText(std::chrono::seconds left)
{
    const long long s = std::max<long long>(left.count(), 0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string scanProgressLine(std::size_t folders, std::size_t files, const std::string& status,
                             std::optional<std::chrono::seconds> left)
{
    std::string line = "Folders: " + std::to_string(folders) + "   Files: " + std::to_string(files);
    if (!status.empty())
        line += "   " + status;
    if (left)
        line += "   Time left: " + durationText(*left);
    return line;
}

std::string unreadableFormatsLine(const std::string& readable, const std::vector<std::string>& unreadable)
{
    if (unreadable.empty())
        return {};
    std::string text = "This Windows build reads " + readable + "; it does not read ";
    for (std::size_t i = 0; i < unreadable.size(); ++i)
        text += (i == 0 ? "" : i + 1 == unreadable.size() ? " or " : ", ") + unreadable[i];
    return text + ".";
}

std::string containerRefusalText(const std::string& formatName, const std::string& readable,
                                 const std::string& fileName)
{
    return "This Windows build does not read " + formatName + " images; it reads " + readable + ". " + fileName +
           " opens in the Linux program, or here once copied to a raw image (qemu-img convert -O raw).";
}

namespace {

/// A letter in lower case: the ASCII ones and those of Latin-1 and Cyrillic,
/// enough for the menus' labels in their languages.
wchar_t lowerCase(wchar_t c)
{
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<wchar_t>(c + 0x20);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<wchar_t>(c + 0x20);
    return c;
}

} // namespace

wchar_t menuMnemonic(const std::wstring& label)
{
    for (std::size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != L'&')
            continue;
        if (label[i + 1] == L'&') {
            ++i; // an ampersand shown
            continue;
        }
        return lowerCase(label[i + 1]);
    }
    return 0;
}

std::optional<std::size_t> itemForMnemonic(const std::vector<std::wstring>& labels, wchar_t typed)
{
    const wchar_t key = lowerCase(typed);
    if (key == 0)
        return std::nullopt;
    for (std::size_t i = 0; i < labels.size(); ++i)
        if (menuMnemonic(labels[i]) == key)
            return i;
    return std::nullopt;
}

MenuText splitMenuText(const std::wstring& text)
{
    const std::size_t tab = text.find(L'\t');
    if (tab == std::wstring::npos)
        return {text, {}};
    return {text.substr(0, tab), text.substr(tab + 1)};
}

} // namespace sarvik::win32
