// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop program's command line: disk images to list, or a run through
// the window's steps without a user (for tests and screenshots).
//
//   sarvik-undelete.exe [IMAGE...]
//   sarvik-undelete.exe --self-test IMAGE [--recover-to FOLDER] [--hold-ms N]
//                       [--drive-page] [--deep] [--stop] [--do STEP]...
//
// Plain C++ (no Windows headers), so that it is tested on every system.

#include <optional>
#include <string>
#include <vector>

namespace sarvik::win32 {

/// What --self-test asks for: open `image`, scan it, list its root, copy the
/// root's rows into `recoverTo` when given, report on standard output, exit.
struct SelfTest {
    std::wstring image;
    std::wstring recoverTo;
    unsigned holdMs = 0;     ///< how long the window stays on screen before the exit (for screenshots)
    bool drivesOnly = false; ///< stop on the drive page, the image chosen (for screenshots)
    bool deep = false;       ///< scan with the deep search
    bool stop = false;       ///< press Stop as soon as the scan starts
    /// What to do on the results page before the copy, in order, each through
    /// the menu command a user would choose: "NAME" or "NAME:VALUE" with a
    /// NAME of selfTestSteps().
    std::vector<std::wstring> steps;
};

/// The names a --do step may have.
[[nodiscard]] const std::vector<std::wstring>& selfTestSteps();

struct Arguments {
    std::vector<std::wstring> images; ///< listed on the drive page, the last one chosen
    std::optional<SelfTest> selfTest;
    std::wstring error; ///< what is wrong with the command line; nothing else holds then
};

/// The arguments after the program's name.
[[nodiscard]] Arguments parseArguments(const std::vector<std::wstring>& words);

} // namespace sarvik::win32
