// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Console.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace sarvik::platform {

void setUpProcess()
{
    for (int fd = 0; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // open gives the lowest free number: this one.
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd)
                ::close(opened);
        }
    std::signal(SIGXFSZ, SIG_IGN);
}

void setUpConsole()
{
    // A closed pipe ("sarvik scan ... | head") ends the program quietly, as it
    // does for every filter, whatever the parent left the signal set to.
    std::signal(SIGPIPE, SIG_DFL);
    // Only the character type, and always a UTF-8 one: the names printed are
    // UTF-8 whatever the environment says, wcwidth needs it, and a single-byte
    // locale would change how the C library upper-cases bytes above 127.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr)
        return;
    if (std::setlocale(LC_CTYPE, "") == nullptr || std::strcmp(::nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C");
}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}

bool standardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) != 0;
}

void setStandardOutputBinary() {}

std::size_t terminalColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col != 0)
        return size.ws_col;
    return 80;
}

std::size_t characterColumns(char32_t cp)
{
    const int width = ::wcwidth(static_cast<wchar_t>(cp));
    return width < 0 ? 1 : static_cast<std::size_t>(width);
}

} // namespace sarvik::platform
