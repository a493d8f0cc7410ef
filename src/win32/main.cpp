// sarvik-undelete.exe: the desktop program on Windows.
//
//   sarvik-undelete.exe [IMAGE...]
//   sarvik-undelete.exe --self-test IMAGE [--recover-to FOLDER] [--hold-ms N] [--drive-page] [--deep] [--stop]
//
// The images named are listed on the drive page, the last one chosen.
// --self-test drives the window through its steps without a user: opens
// IMAGE, scans it, prints the root folder's rows on standard output, copies
// them into FOLDER when given (printing the summary), and exits 0 when the
// root listed anything (and the copy ran), 1 when not, 2 when IMAGE could not
// be opened or read as a volume. --hold-ms keeps the window on screen that
// long before the exit; --drive-page stops on the drive page, the image chosen;
// --deep scans with the deep search; --stop presses Stop as the scan starts.

#include "platform/Console.h"
#include "platform/Devices.h"
#include "win32/Commands.h"
#include "win32/MainWindow.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

using sarvik::win32::SelfTest;

/// The keyboard commands besides the buttons' own Alt+letter.
HACCEL keyboardCommands()
{
    ACCEL table[] = {
        {FCONTROL | FVIRTKEY, 'O', sarvik::win32::IdOpenImage},
        {FCONTROL | FVIRTKEY, 'R', sarvik::win32::kRecoverSelected},
    };
    return ::CreateAcceleratorTableW(table, static_cast<int>(sizeof table / sizeof table[0]));
}

bool parseArguments(SelfTest& test, std::vector<std::wstring>& images)
{
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (args == nullptr)
        return false;
    std::vector<std::wstring> words(args + 1, args + count);
    ::LocalFree(args);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == L"--drive-page" || words[i] == L"--deep" || words[i] == L"--stop") {
            (words[i] == L"--drive-page" ? test.drivesOnly : words[i] == L"--deep" ? test.deep : test.stop) = true;
            continue;
        }
        if (words[i].rfind(L"--", 0) != 0) {
            images.push_back(words[i]);
            continue;
        }
        if (i + 1 == words.size())
            break;
        if (words[i] == L"--self-test")
            test.image = words[i + 1];
        else if (words[i] == L"--recover-to")
            test.recoverTo = words[i + 1];
        else if (words[i] == L"--hold-ms")
            test.holdMs = static_cast<unsigned>(std::wcstoul(words[i + 1].c_str(), nullptr, 10));
        else
            continue;
        ++i;
    }
    return !test.image.empty();
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int show)
{
    sarvik::platform::setUpProcess();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                       ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));

    SelfTest test;
    std::vector<std::wstring> images;
    const bool selfTest = parseArguments(test, images);
    sarvik::platform::SystemDeviceProvider devices;
    int status = 1;
    {
        sarvik::win32::MainWindow window(devices, instance);
        if (window.create(show, selfTest ? &test : nullptr, images)) {
            HACCEL keys = keyboardCommands();
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
