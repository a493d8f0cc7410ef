// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik-undelete.exe: the desktop program on Windows.
//
//   sarvik-undelete.exe [IMAGE...]
//   sarvik-undelete.exe --self-test IMAGE [--recover-to FOLDER] [--hold-ms N] [--drive-page] [--deep] [--stop]
//                       [--do STEP]...
//
// The images named are listed on the drive page, the last one chosen.
// --self-test drives the window through its steps without a user: opens
// IMAGE, scans it, prints the root folder's rows on standard output, copies
// them into FOLDER when given (printing the summary), and exits 0 when the
// root listed anything (and the copy ran), 1 when not, 2 when IMAGE could not
// be opened or read as a volume or the command line is wrong. --hold-ms keeps the window on screen that
// long before the exit; --drive-page stops on the drive page, the image chosen;
// --deep scans with the deep search; --stop presses Stop as the scan starts.
// Each --do STEP chooses a menu command before the copy (on the drive page
// with --drive-page): "properties:NAME", "rename:NAME=NEW", "find:PATTERN",
// "preview:NAME", "open:NAME", "filter:PATTERN", "settings[:skip|overwrite|rename]",
// "drive-info", "about", "save:FILE", "back", "load:FILE", "view:list",
// "select-all", "recover-selected", "lost-volumes"; the boxes they open play
// their part by themselves and print what they show.

#include "platform/Console.h"
#include "platform/Devices.h"
#include "platform/WinText.h"
#include "win32/Arguments.h"
#include "win32/MainWindow.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

/// The arguments after the program's name.
std::vector<std::wstring> commandLineWords()
{
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (args == nullptr)
        return {};
    std::vector<std::wstring> words(args + std::min(count, 1), args + count);
    ::LocalFree(args);
    return words;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int show)
{
    sarvik::platform::setUpProcess();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                       ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));

    const std::vector<std::wstring> words = commandLineWords();
    const sarvik::win32::Arguments arguments = sarvik::win32::parseArguments(words);
    if (!arguments.error.empty()) {
        const std::string text = sarvik::platform::utf8Of(arguments.error) + "\n";
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        // A script that got its command line wrong gets no box to wait on.
        if (std::find(words.begin(), words.end(), L"--self-test") == words.end())
            ::MessageBoxW(nullptr, arguments.error.c_str(), L"Velmora Sarvik Undelete", MB_OK | MB_ICONERROR);
        return 2;
    }
    sarvik::platform::SystemDeviceProvider devices;
    int status = 1;
    {
        sarvik::win32::MainWindow window(devices, instance);
        if (window.create(show, arguments.selfTest ? &*arguments.selfTest : nullptr, arguments.images)) {
            HACCEL keys = sarvik::win32::MainWindow::keyboardCommands();
            MSG message{};
            while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (::TranslateAcceleratorW(window.handle(), keys, &message) != 0)
                    continue;
                // Tab, Shift+Tab, Enter, Esc and the Alt+letters of the buttons.
                if (window.handle() != nullptr && ::IsDialogMessageW(window.handle(), &message) != 0)
                    continue;
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            ::DestroyAcceleratorTable(keys);
            status = window.exitStatus();
        }
    }
    if (com)
        ::CoUninitialize();
    return status;
}
