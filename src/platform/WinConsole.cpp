// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Console.h"

#include "platform/WinText.h"

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace sarvik::platform {

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

/// Combining marks and zero-width characters: no column of their own.
constexpr std::array<Range, 9> kZeroWidth{{{0x0300, 0x036F},
                                           {0x0483, 0x0489},
                                           {0x0591, 0x05BD},
                                           {0x1AB0, 0x1AFF},
                                           {0x1DC0, 0x1DFF},
                                           {0x200B, 0x200F},
                                           {0x20D0, 0x20FF},
                                           {0xFE00, 0xFE0F},
                                           {0xFE20, 0xFE2F}}};

/// East Asian wide and full-width characters and emoji: two columns.
constexpr std::array<Range, 13> kWide{{{0x1100, 0x115F},
                                       {0x2E80, 0x303E},
                                       {0x3041, 0x33FF},
                                       {0x3400, 0x4DBF},
                                       {0x4E00, 0x9FFF},
                                       {0xA000, 0xA4CF},
                                       {0xAC00, 0xD7A3},
                                       {0xF900, 0xFAFF},
                                       {0xFE30, 0xFE4F},
                                       {0xFF00, 0xFF60},
                                       {0xFFE0, 0xFFE6},
                                       {0x1F300, 0x1FAFF},
                                       {0x20000, 0x3FFFD}}};

bool within(char32_t cp, const auto& ranges)
{
    for (const Range& r : ranges)
        if (cp >= r.first && cp <= r.last)
            return true;
    return false;
}

} // namespace

void setUpProcess()
{
    // Windows has no file-size signal, and a process started without standard
    // handles gets no descriptor numbers reused by the files it opens.
}

void setUpConsole()
{
    // Names are printed as UTF-8: the console shows them as such only in its
    // UTF-8 code page. The progress line redraws itself with VT sequences.
    ::SetConsoleOutputCP(CP_UTF8);
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error != INVALID_HANDLE_VALUE && ::GetConsoleMode(error, &mode) != 0)
        ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    // argv is in the ANSI code page, which cannot hold every name: the UTF-16
    // command line can.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(utf8Of(wide[i]));
    ::LocalFree(wide);
    return args;
}

std::size_t terminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) != 0 && info.dwSize.X > 0)
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    return 80;
}

bool standardOutputIsTerminal()
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return output != INVALID_HANDLE_VALUE && ::GetFileType(output) == FILE_TYPE_CHAR &&
           ::GetConsoleMode(output, &mode) != 0;
}

void setStandardOutputBinary()
{
    (void)::_setmode(::_fileno(stdout), _O_BINARY);
}

bool standardErrorIsTerminal()
{
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return error != INVALID_HANDLE_VALUE && ::GetFileType(error) == FILE_TYPE_CHAR &&
           ::GetConsoleMode(error, &mode) != 0;
}

std::size_t characterColumns(char32_t cp)
{
    if (within(cp, kZeroWidth))
        return 0;
    return within(cp, kWide) ? 2 : 1;
}

} // namespace sarvik::platform
