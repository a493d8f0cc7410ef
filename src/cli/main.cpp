// sarvik: the command-line face of the recovery engines.

#include "catalogue/Catalogue.h"
#include "cli/Commands.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

void usage(std::FILE* out)
{
    std::fputs("usage: sarvik COMMAND [ARGS]\n"
               "       sarvik --version\n"
               "\n"
               "commands:\n"
               "  drives [IMAGE]...      list the volumes of this machine, and the partitions of IMAGEs\n"
               "  info SOURCE [--json] [--classic]\n"
               "                         file system and geometry of a device or disk image\n"
               "  scan SOURCE [--snapshot FILE [--force]] [--json]\n"
               "                         every folder and deleted file found on SOURCE\n"
               "  ls SOURCE [FOLDER] [--filter PATTERN]... [--json]\n"
               "                         one folder's rows, as the file list shows them\n"
               "  recover SOURCE --to DIR [--all | PATH...] [--filter PATTERN]...\n"
               "          [--duplicates rename|overwrite|skip]\n"
               "                         copy found files and folders into DIR\n"
               "  find SOURCE PATTERN [--json]\n"
               "                         deleted files whose names match PATTERN, with their folder\n"
               "  carve SOURCE [--types jpg,png,gif,pdf,zip,mp4,tif,sqlite] [--to DIR]\n"
               "                         files found by their content alone, over the whole SOURCE\n"
               "                         (a volume, a partition, or a disk with no file system)\n"
               "\n"
               "SOURCE is a block device (/dev/sdb1), a disk image file, or a recovery snapshot;\n"
               "PATH@N names partition N of a whole disk or disk image (see 'sarvik info PATH').\n"
               "(--device PATH reads a snapshot's volume from elsewhere).\n"
               "\n"
               "scan, ls, find and recover use the thorough rules: read whole folders, keep names\n"
               "outside ASCII, and (NTFS) follow attribute lists, write empty files and\n"
               "decompress compressed ones. --classic selects the classic rules instead: each\n"
               "live folder from its first cluster, names as 8-bit text, 512-byte sectors and two\n"
               "FATs. (--thorough is accepted and is the default.) On FAT volumes the thorough\n"
               "rules also search the clusters no found file claims for files by their content,\n"
               "listed under \"$Carved files\"; --no-carve leaves that out.\n"
               "--snapshot never replaces an existing file unless --force is given.\n"
               "\n"
               "exit status:\n"
               "  0    everything asked was done\n"
               "  1    it could not be done: SOURCE cannot be opened or is not a volume, the\n"
               "       destination or the output cannot be written, out of memory\n"
               "  2    usage error\n"
               "  3    done, with losses: sectors or MFT records that could not be read, files\n"
               "       that did not come back whole (each is named on standard error), or a\n"
               "       snapshot whose volume is missing or does not match\n"
               "  130  interrupted (Ctrl-C)\n",
               out);
}

int runCommand(const std::string& command, const std::vector<std::string>& args)
{
    if (command == "drives")
        return sarvik::cli::runDrives(args);
    if (command == "info")
        return sarvik::cli::runInfo(args);
    if (command == "scan")
        return sarvik::cli::runScan(args);
    if (command == "ls")
        return sarvik::cli::runLs(args);
    if (command == "recover")
        return sarvik::cli::runRecover(args);
    if (command == "find")
        return sarvik::cli::runFind(args);
    if (command == "carve")
        return sarvik::cli::runCarve(args);
    std::fprintf(stderr, "sarvik: unknown command '%s'\n", command.c_str());
    usage(stderr);
    return sarvik::cli::kExitUsage;
}

} // namespace

namespace sarvik::cli {

int worseStatus(int a, int b) noexcept
{
    const auto rank = [](int s) { return s == kExitInterrupted ? 4 : s == kExitFailed ? 3 : s == kExitLosses ? 2 : s; };
    return rank(a) >= rank(b) ? a : b;
}

} // namespace sarvik::cli

int main(int argc, char** argv)
{
    // A closed pipe ("sarvik scan ... | head") ends the program quietly, as it
    // does for every filter, whatever the parent left the signal set to.
    std::signal(SIGPIPE, SIG_DFL);
    int status = sarvik::cli::kExitFailed;
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
            usage(args.empty() ? stderr : stdout);
            status = args.empty() ? sarvik::cli::kExitUsage : sarvik::cli::kExitDone;
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
    }
    // Output that could not be written (a full disk) is a failure, not a result.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno;
        std::fprintf(stderr, "sarvik: cannot write the output: %s\n",
                     error != 0 ? std::strerror(error) : "write error");
        return sarvik::cli::kExitFailed;
    }
    return status;
}
