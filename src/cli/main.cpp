// sarvik: the command-line face of the recovery engines.

#include "cli/Commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void usage(std::FILE* out)
{
    std::fputs("usage: sarvik COMMAND [ARGS]\n"
               "\n"
               "commands:\n"
               "  drives [IMAGE]...      list the volumes of this machine, and the partitions of IMAGEs\n"
               "  info SOURCE [--json]   file system and geometry of a device or disk image\n"
               "  scan SOURCE [--snapshot FILE] [--json]\n"
               "                         every folder and deleted file found on SOURCE\n"
               "  ls SOURCE [FOLDER] [--filter PATTERN]... [--json]\n"
               "                         one folder's rows, as the file list shows them\n"
               "  recover SOURCE --to DIR [--all | PATH...] [--filter PATTERN]...\n"
               "          [--duplicates rename|overwrite|skip]\n"
               "                         copy found files and folders into DIR\n"
               "  find SOURCE PATTERN [--json]\n"
               "                         deleted files whose names match PATTERN, with their folder\n"
               "\n"
               "SOURCE is a block device (/dev/sdb1), a disk image file, or a recovery snapshot;\n"
               "PATH@N names partition N of a whole disk or disk image (see 'sarvik info PATH').\n"
               "(--device PATH reads a snapshot's volume from elsewhere).\n"
               "\n"
               "scan, ls, find and recover use the thorough rules: read whole folders, keep names\n"
               "outside ASCII, and (NTFS) follow attribute lists, write empty files and\n"
               "decompress compressed ones. --classic selects the classic rules instead: each\n"
               "live folder from its first cluster, names as 8-bit text, 512-byte sectors and two\n"
               "FATs. (--thorough is accepted and is the default.)\n",
               out);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        usage(args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
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
    std::fprintf(stderr, "sarvik: unknown command '%s'\n", command.c_str());
    usage(stderr);
    return 2;
}
