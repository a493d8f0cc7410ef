// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's edges: arguments, the console's text, signals. Each
// system has its own implementation (PosixConsole.cpp, WinConsole.cpp).

#include <cstddef>
#include <string>
#include <vector>

namespace sarvik::platform {

/// Sets the process up for a console program: UTF-8 text on the console (a
/// UTF-8 character type locale, or the console's UTF-8 code page), and a
/// closed pipe ending the program quietly where the system has pipe signals.
void setUpConsole();

/// Sets the process up for writing files, first thing in main (both
/// programs): a standard descriptor (input, output, error) that the parent left
/// closed is opened on the null device, so that no report, snapshot or copy
/// takes its number and receives the program's messages; a file-size limit
/// (ulimit -f) makes a write fail with "File too large" instead of ending the
/// program with a file cut short and no word.
void setUpProcess();

/// The program's arguments after its name, as UTF-8 (on Windows read from the
/// UTF-16 command line, whatever the code page).
[[nodiscard]] std::vector<std::string> commandLineArguments(int argc, char** argv);

/// True when standard error is a terminal (progress lines are drawn there).
[[nodiscard]] bool standardErrorIsTerminal();

/// True when standard output is a terminal (a file's bytes are not written there unasked).
[[nodiscard]] bool standardOutputIsTerminal();

/// Makes standard output carry bytes as they are (no newline translation
/// where the system has a text mode).
void setStandardOutputBinary();

/// The width of the terminal standard error writes to, in columns; 80 when it
/// cannot be told.
[[nodiscard]] std::size_t terminalColumns();

/// Columns one character takes on a terminal: 0 for combining marks, 2 for
/// wide East Asian characters and emoji, else 1.
[[nodiscard]] std::size_t characterColumns(char32_t cp);

} // namespace sarvik::platform
