// SPDX-License-Identifier: GPL-3.0-or-later
// sarvik: the command-line face of the recovery engines.

#include "catalogue/Catalogue.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Source.h"
#include "disk/Trace.h"
#include "platform/Console.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace {

void usage(std::FILE* out)
{
    std::fputs("usage: sarvik COMMAND [ARGS]\n"
               "       sarvik help COMMAND     (or sarvik COMMAND --help)\n"
               "       sarvik --version\n"
               "\n"
               "commands:\n",
               out);
    for (const auto& spec : sarvik::cli::commandSpecs())
        std::fprintf(out, "  %-8s %s\n           %s\n", spec.name, spec.arguments, spec.summary);
    std::fputs("\n"
               "SOURCE is a block device (/dev/sdb1), a disk image file, or a recovery snapshot;\n"
               "PATH@N names partition N of a whole disk or disk image (see 'sarvik info PATH');\n"
               "VOLUME@vssN names shadow copy N of an NTFS volume (see 'sarvik info VOLUME').\n"
               "A disk image may be raw (dd), or a container known by its content: an EnCase\n"
               "image (IMG.E01, with its further segments), a VHD or VHDX, a VMDK (the\n"
               "descriptor or its first extent disk-s001.vmdk), a QCOW2, or a raw image split\n"
               "into pieces (IMG.001, IMG.002, ...: name the first). 'sarvik info' says which\n"
               "of these this build reads.\n"
               "\n"
               "scan, ls, find and recover use the thorough rules: read whole folders, keep names\n"
               "outside ASCII, and (NTFS) follow attribute lists, write empty files and\n"
               "decompress compressed ones. --classic selects the classic rules instead: each\n"
               "live folder from its first cluster, names as 8-bit text, 512-byte sectors and two\n"
               "FATs, FAT16, FAT32 and NTFS only (not FAT12 or exFAT). (--thorough is accepted and\n"
               "is the default.)\n"
               "\n"
               "A scan reads the file system's metadata only: the boot sector, the allocation\n"
               "table or bitmap, the folders and the MFT, so it takes seconds even on a large\n"
               "card. --deep then searches the free space too (it reads all of it): the later\n"
               "clusters of deleted folders, folders a format cut off (\"$Lost folder N\"), and\n"
               "files by their content alone (\"$Carved files\"; --no-carve leaves those out).\n"
               "When a scan finds free space holding data that no entry names, it says so.\n"
               "Options take their value as --opt VALUE or --opt=VALUE; -- ends the options.\n"
               "\n"
               "A device this user may not read needs root (sudo) or the disk group. With\n"
               "--udisks (any command), such a SOURCE is opened by the system's disk manager,\n"
               "UDisks2, once polkit allows it (asking for the password through its agent,\n"
               "such as pkttyagent on a text console); nothing else runs as root.\n"
               "\n"
               "--verbose (any command) traces on standard error what was read where and which\n"
               "rule decided (the boot sector's reading, each file's clusters, each outcome);\n"
               "'sarvik scan SOURCE --verbose 2>trace.txt' makes a file for a bug report.\n"
               "\n"
               "exit status:\n"
               "  0    everything asked was done\n"
               "  1    it could not be done: SOURCE cannot be opened or is not a volume, the\n"
               "       destination or the output cannot be written, out of memory\n"
               "  2    usage error\n"
               "  3    done, with losses: sectors or MFT records that could not be read, files\n"
               "       that did not come back whole (each is named on standard error), or a\n"
               "       snapshot whose volume is missing or does not match\n"
               "  130  interrupted (Ctrl-C); 143 and 129 when SIGTERM or SIGHUP stopped it\n",
               out);
}

/// --verbose: every read of the source and every decision of the rules, one
/// line each on standard error after "sarvik: trace: ", headed by the version
/// and the command line, so that the whole can go with a bug report.
void startTrace(const std::string& command, const std::vector<std::string>& args)
{
    sarvik::disk::setTraceSink([](std::string_view line) {
        std::fprintf(stderr, "sarvik: trace: %.*s\n", static_cast<int>(line.size()), line.data());
    });
    std::string words = "sarvik " SARVIK_VERSION ": " + command;
    for (const std::string& a : args)
        words += " " + a;
    sarvik::disk::trace(words);
}

int runCommand(const std::string& command, const std::vector<std::string>& args)
{
    using Runner = int (*)(const sarvik::cli::CommandSpec&, const sarvik::cli::ParsedArgs&);
    static const std::map<std::string, Runner> runners = {
        {"drives", sarvik::cli::runDrives}, {"info", sarvik::cli::runInfo},       {"scan", sarvik::cli::runScan},
        {"ls", sarvik::cli::runLs},         {"recover", sarvik::cli::runRecover}, {"find", sarvik::cli::runFind},
        {"carve", sarvik::cli::runCarve},   {"volumes", sarvik::cli::runVolumes}, {"cat", sarvik::cli::runCat},
    };
    const auto* spec = sarvik::cli::findCommand(command);
    const auto runner = runners.find(command);
    if (spec == nullptr || runner == runners.end()) {
        // One line, not the whole help: the commands there are, and where the help is.
        std::string names;
        std::vector<std::string> known;
        for (const auto& each : sarvik::cli::commandSpecs()) {
            names += (names.empty() ? "" : ", ") + std::string(each.name);
            known.emplace_back(each.name);
        }
        const std::string hint = sarvik::cli::didYouMean(sarvik::cli::nearestNames(command, known), "");
        std::fprintf(stderr, "sarvik: unknown command '%s'%s%s (commands: %s; 'sarvik help' shows them)\n",
                     command.c_str(), hint.c_str(), hint.empty() ? "" : ";", names.c_str());
        return sarvik::cli::kExitUsage;
    }
    // --udisks may come with any command that reads a SOURCE, --verbose with any.
    std::vector<std::string> rest;
    bool udisks = false;
    bool verbose = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        if (args[i] == "--udisks")
            udisks = true;
        else if (args[i] == "--verbose")
            verbose = true;
        else
            rest.push_back(args[i]);
    }
    if (verbose)
        startTrace(command, args);
    sarvik::cli::ParsedArgs parsed;
    if (const auto exit = sarvik::cli::parseArgs(*spec, rest, parsed))
        return *exit;
    if (const auto exit = sarvik::cli::applyRegionOptions(*spec, parsed))
        return *exit;
    if (udisks && !parsed.positional.empty())
        if (const auto exit = sarvik::cli::openThroughDiskManager(parsed.positional.front()))
            return *exit;
    return runner->second(*spec, parsed);
}

/// "sarvik help [COMMAND]": the general help, or that command's.
int runHelp(const std::vector<std::string>& args)
{
    if (args.size() <= 1) {
        usage(stdout);
        return sarvik::cli::kExitDone;
    }
    const auto* spec = sarvik::cli::findCommand(args[1]);
    if (spec == nullptr || args.size() > 2) {
        std::fprintf(stderr, "sarvik help: no command '%s'\n", args[1].c_str());
        usage(stderr);
        return sarvik::cli::kExitUsage;
    }
    sarvik::cli::printCommandHelp(*spec, stdout);
    return sarvik::cli::kExitDone;
}

} // namespace

namespace sarvik::cli {

int worseStatus(int a, int b) noexcept
{
    const auto rank = [](int s) { return s == kExitInterrupted ? 4 : s == kExitFailed ? 3 : s == kExitLosses ? 2 : s; };
    return rank(a) >= rank(b) ? a : b;
}

} // namespace sarvik::cli

namespace {

/// The heap a run needs before it can report running out of memory, taken in
/// pieces below the C library's mmap threshold (128 KiB unless tuned): a single
/// mapped block, once freed, would raise that threshold for the whole run, and
/// a scan's many middle-sized buffers would then fragment the heap (9 MiB more
/// resident on a 200,000-record MFT).
constexpr std::size_t kStartRoomPiece = std::size_t{120} << 10;
constexpr std::size_t kStartRoomPieces = 9;

/// Whether the heap can give kStartRoomPieces pieces at once.
bool startRoomAvailable()
{
    std::array<void*, kStartRoomPieces> pieces{};
    bool all = true;
    for (void*& piece : pieces) {
        piece = std::malloc(kStartRoomPiece);
        if (piece == nullptr) {
            all = false;
            break;
        }
    }
    for (void* piece : pieces)
        std::free(piece);
    return all;
}

} // namespace

int main(int argc, char** argv)
{
    // With too little memory even for the C++ runtime's own reserve (it takes
    // it before main), the first failed allocation cannot be reported as an
    // exception and the runtime aborts: say so plainly first, allocating nothing.
    if (!startRoomAvailable()) {
        std::fprintf(stderr, "sarvik: %s\n", sarvik::catalogue::kOutOfMemoryMessage);
        return 1;
    }
    sarvik::platform::setUpProcess();
    sarvik::platform::setUpConsole();
    int status = sarvik::cli::kExitFailed;
    try {
        std::vector<std::string> args = sarvik::platform::commandLineArguments(argc, argv);
        if (args.empty()) {
            usage(stderr);
            status = sarvik::cli::kExitUsage;
        } else if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
            status = runHelp(args);
        } else if (args[0] == "--version") {
            std::printf("sarvik %s\n", SARVIK_VERSION);
            status = sarvik::cli::kExitDone;
        } else {
            const std::string command = args[0];
            args.erase(args.begin());
            status = runCommand(command, args);
        }
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "sarvik: %s\n", sarvik::catalogue::kOutOfMemoryMessage);
        return sarvik::cli::kExitFailed;
    } catch (const std::system_error&) {
        // A thread that cannot be made: the limit of threads reached, or too
        // little address space for its stack.
        std::fflush(stdout);
        std::fprintf(stderr, "sarvik: %s\n", sarvik::cli::noThreadText());
        return sarvik::cli::kExitFailed;
    }
    // Output that could not be written (a full disk) is a failure, not a result.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno;
        // A command that failed on its output has named the reason already.
        if (error == 0 && status == sarvik::cli::kExitFailed)
            return status;
        std::fprintf(stderr, "sarvik: cannot write the output: %s\n",
                     error != 0 ? std::strerror(error) : "write error");
        return sarvik::cli::kExitFailed;
    }
    return status;
}
