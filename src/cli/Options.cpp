// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Options.h"

#include "cli/Commands.h"

#include <algorithm>
#include <getopt.h>
#include <string_view>

namespace sarvik::cli {

namespace {

constexpr OptionSpec kHelpOption{"help", nullptr, "show this help and exit"};
constexpr OptionSpec kJsonOption{
    "json", nullptr,
    "write one JSON document instead of text; its JSON Schema: /usr/share/doc/sarvik/schema/ (docs/schema/)"};
constexpr OptionSpec kOffsetOption{
    "offset", "N", "read SOURCE from N on as a volume: sectors of 512 bytes, or N with B, K, M, G, T (bytes, KiB...)"};
constexpr OptionSpec kSizeOption{"size", "N", "with --offset: the volume's length (the same units)"};

/// The session's options without those that write (--snapshot, --force).
std::vector<OptionSpec> catSessionOptions()
{
    std::vector<OptionSpec> options = sessionOptions();
    std::erase_if(options, [](const OptionSpec& o) {
        return std::string_view(o.name) == "snapshot" || std::string_view(o.name) == "force";
    });
    return options;
}

std::vector<OptionSpec> joined(std::initializer_list<std::vector<OptionSpec>> parts)
{
    std::vector<OptionSpec> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<CommandSpec> makeSpecs()
{
    const std::vector<OptionSpec> session = sessionOptions();
    return {
        {"drives", "[IMAGE]...", "list the volumes of this machine, and the partitions of IMAGEs", {kJsonOption}},
        {"info",
         "SOURCE",
         "file system and geometry of a device or disk image (or the partitions of a whole disk)",
         {kJsonOption,
          {"classic", nullptr, "read the geometry by the classic rules (512-byte sectors, two FATs)"},
          {"thorough", nullptr, "read the geometry from the boot sector (the default)"},
          kOffsetOption,
          kSizeOption}},
        {"scan", "SOURCE", "every folder and deleted file found on SOURCE",
         joined({session,
                 {kJsonOption,
                  {"bodyfile", nullptr,
                   "write every listed entry in the body format of timeline tools (mactime -b FILE)"}}})},
        {"ls", "SOURCE [FOLDER]", "one folder's rows, as the file list shows them",
         joined({session, selectionOptions(false), {kJsonOption}})},
        {"find", "SOURCE PATTERN", "deleted files whose names match PATTERN, with their folder",
         joined({session, selectionOptions(false), {kJsonOption}}),
         "PATTERN matches names as the file list's filter does ('*' any run, '?' one character)."},
        {"recover", "SOURCE (--all | PATH...) --to DIR", "copy found files and folders into DIR",
         joined({{{"to", "DIR", "the folder to copy into (made, with its parents, if missing; never on SOURCE itself)"},
                  {"all", nullptr, "recover every deleted file and folder"},
                  {"duplicates", "POLICY", "a name that exists in DIR: rename (the default), overwrite or skip"},
                  {"no-times", nullptr, "leave recovered files with the copy's time, not their own"},
                  {"report", "FILE", "write one JSON line per file asked for: outcome, size and SHA-256"}},
                 session,
                 selectionOptions(true)}),
         "PATH is a folder or file as 'sarvik scan' prints it (\"/Docs/a.txt\")."},
        {"cat", "SOURCE (PATH | --id N)", "write one found file's bytes to standard output, as recover would copy them",
         joined({{{"id", "N", "the file with MFT record N (NTFS) or entry address N (FAT, exFAT)"},
                  {"from", "BYTE", "start at this byte of the file (K, M, G allowed)"},
                  {"length", "N", "write at most N bytes"},
                  {"force", nullptr, "write to a terminal too"}},
                 catSessionOptions()}),
         "Exit 3, with the reason on standard error, when the bytes written are not the whole file."},
        {"volumes",
         "DISK",
         "volumes on a disk or image that no partition table names (wiped table, lost boot sector): DISK@lostN",
         {kJsonOption, {"deep", nullptr, "read every sector, not only where volumes usually start"}}},
        {"carve",
         "SOURCE",
         "files found by their content alone, over the whole SOURCE (a volume, a partition, or a disk)",
         {{"types", "LIST",
           "the formats to look for: jpg,png,gif,pdf,zip,mp4,tif,sqlite,txt,raf,riff,mts,mp3,flac,ogg,bmp,psd,"
           "mkv,doc,rar,7z, or an extension one gives (mov,heic,cr2,avi,wav,webm,xls,...; the "
           "default: all)"},
          {"to", "DIR", "write the files found into DIR"},
          kOffsetOption,
          kSizeOption}},
    };
}

} // namespace

std::vector<OptionSpec> sessionOptions()
{
    return {
        {"classic", nullptr, "the classic rules: first cluster of live folders, 8-bit names"},
        {"thorough", nullptr, "the thorough rules (the default): whole folders, names as UTF-8"},
        {"snapshot", "FILE",
         "save the scan to a recovery snapshot, FILE's name in capitals with .RVU added (card: CARD.RVU)"},
        {"force", nullptr, "let --snapshot replace an existing file"},
        {"device", "PATH", "read a snapshot SOURCE's file data from PATH"},
        {"deep", nullptr, "also search free space: lost folders and files by content (reads it all)"},
        {"no-carve", nullptr, "with --deep: do not carve the clusters no found file claims"},
        {"live", nullptr, "list and recover the files not deleted too (a lost or damaged volume's)"},
        {"previous", "[=all]",
         "add what the volume's shadow copies hold that it no longer does (NTFS): files deleted since and older "
         "contents, each from the newest copy that has it; =all: from every copy"},
        kOffsetOption,
        kSizeOption,
    };
}

std::vector<OptionSpec> selectionOptions(bool withDryRun)
{
    std::vector<OptionSpec> options = {
        {"filter", "PATTERN", "only deleted files whose names match PATTERN (may repeat)"},
        {"min-size", "SIZE", "only files of at least SIZE bytes (K, M, G: 1024, 1024^2, 1024^3)"},
        {"max-size", "SIZE", "only files of at most SIZE bytes"},
        {"since", "TIME", "only files modified at or after TIME (YYYY-MM-DD[ HH:MM[:SS]])"},
        {"until", "TIME", "only files modified before TIME (a date alone: up to its end)"},
        {"id", "N", "only the file with MFT record N (NTFS) or entry address N (FAT); may repeat"},
    };
    if (withDryRun)
        options.push_back({"dry-run", nullptr, "print what would be written, write nothing"});
    return options;
}

const std::vector<CommandSpec>& commandSpecs()
{
    static const std::vector<CommandSpec> specs = makeSpecs();
    return specs;
}

const CommandSpec* findCommand(const std::string& name)
{
    for (const CommandSpec& spec : commandSpecs())
        if (name == spec.name)
            return &spec;
    return nullptr;
}

std::optional<std::string> ParsedArgs::value(const std::string& name) const
{
    const auto it = m_values.find(name);
    if (it == m_values.end() || it->second.empty())
        return std::nullopt;
    return it->second.back().second;
}

std::vector<std::string> ParsedArgs::values(const std::string& name) const
{
    std::vector<std::string> out;
    if (const auto it = m_values.find(name); it != m_values.end())
        for (const auto& [position, text] : it->second)
            out.push_back(text);
    return out;
}

std::optional<std::string> ParsedArgs::lastOf(const std::vector<std::string>& names) const
{
    std::optional<std::string> last;
    int lastPosition = -1;
    for (const std::string& name : names)
        if (const auto it = m_values.find(name); it != m_values.end())
            for (const auto& given : it->second)
                if (given.first > lastPosition) {
                    lastPosition = given.first;
                    last = name;
                }
    return last;
}

void ParsedArgs::add(const std::string& name, std::string value, int position)
{
    m_values[name].emplace_back(position, std::move(value));
}

void printUsageLine(const CommandSpec& spec, std::FILE* out)
{
    std::fprintf(out, "usage: sarvik %s %s [OPTION]...\n", spec.name, spec.arguments);
}

void printCommandHelp(const CommandSpec& spec, std::FILE* out)
{
    printUsageLine(spec, out);
    std::fprintf(out, "%s\n", spec.summary);
    if (spec.details != nullptr)
        std::fprintf(out, "%s\n", spec.details);
    std::fputs("\noptions:\n", out);
    std::vector<OptionSpec> options = spec.options;
    options.push_back(kHelpOption);
    for (const OptionSpec& o : options) {
        std::string left = std::string("  --") + o.name;
        if (o.value != nullptr)
            left += (o.value[0] == '[' ? std::string() : std::string(" ")) + o.value;
        if (left.size() < 24)
            left.append(24 - left.size(), ' ');
        else
            left += "\n" + std::string(24, ' ');
        std::fprintf(out, "%s%s\n", left.c_str(), o.help);
    }
    std::fputs("\nexit status: 0 done, 1 could not be done, 2 usage error, 3 done with losses,\n"
               "130 interrupted (see 'sarvik help').\n",
               out);
}

int usageError(const CommandSpec& spec, const std::string& message)
{
    std::fprintf(stderr, "sarvik %s: %s\n", spec.name, message.c_str());
    printUsageLine(spec, stderr);
    std::fprintf(stderr, "Try 'sarvik %s --help' for more information.\n", spec.name);
    return kExitUsage;
}

std::optional<int> parseArgs(const CommandSpec& spec, const std::vector<std::string>& args, ParsedArgs& parsed)
{
    std::vector<OptionSpec> options = spec.options;
    options.push_back(kHelpOption);
    std::vector<struct option> table;
    for (std::size_t i = 0; i < options.size(); ++i)
        table.push_back({options[i].name,
                         options[i].value == nullptr  ? no_argument
                         : options[i].value[0] == '[' ? optional_argument
                                                      : required_argument,
                         nullptr, static_cast<int>(256 + i)});
    table.push_back({nullptr, 0, nullptr, 0});

    std::vector<std::string> words;
    words.reserve(args.size() + 1);
    words.push_back(std::string("sarvik ") + spec.name);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    // ":" first: a missing value is told apart from an unknown option; "-"
    // keeps positional arguments in their place among the options, and "--"
    // still ends the options. getopt_long's own messages are off so that every
    // error has the same shape.
    optind = 0;
    opterr = 0;
    const int argc = static_cast<int>(words.size());
    for (;;) {
        const int before = optind == 0 ? 1 : optind;
        const int c = getopt_long(argc, argv.data(), "-:h", table.data(), nullptr);
        if (c == -1)
            break;
        if (c == 1) {
            parsed.positional.emplace_back(optarg);
        } else if (c == 'h') {
            printCommandHelp(spec, stdout);
            return kExitDone;
        } else if (c >= 256) {
            const OptionSpec& o = options[static_cast<std::size_t>(c - 256)];
            if (std::string(o.name) == "help") {
                printCommandHelp(spec, stdout);
                return kExitDone;
            }
            parsed.add(o.name, optarg != nullptr ? optarg : "", before);
        } else if (c == ':') {
            const std::string word = argv[static_cast<std::size_t>(std::min(optind, argc) - 1)];
            return usageError(spec, "option '" + word.substr(0, word.find('=')) + "' needs a value");
        } else {
            const std::string word = argv[static_cast<std::size_t>(std::min(optind, argc) - 1)];
            const std::string name = word.substr(0, word.find('='));
            const bool flag = std::any_of(options.begin(), options.end(), [&](const OptionSpec& o) {
                return o.value == nullptr && name == std::string("--") + o.name;
            });
            if (flag && name.size() < word.size())
                return usageError(spec, "option '" + name + "' takes no value");
            // getopt_long also takes a unique abbreviation; one that fits several options lands here too.
            std::vector<std::string> known;
            known.reserve(options.size());
            for (const OptionSpec& o : options)
                known.emplace_back(o.name);
            const std::string bare = name.substr(std::min(name.find_first_not_of('-'), name.size()));
            return usageError(spec, "unknown option '" + name + "'" + didYouMean(nearestNames(bare, known), "--"));
        }
    }
    for (int i = optind; i < argc; ++i)
        parsed.positional.emplace_back(argv[static_cast<std::size_t>(i)]);
    return std::nullopt;
}

namespace {

/// The edits (a letter typed, dropped, changed, or two neighbours swapped)
/// that turn `a` into `b`.
std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

} // namespace

std::vector<std::string> nearestNames(const std::string& typed, const std::vector<std::string>& known)
{
    if (typed.empty())
        return {};
    std::vector<std::string> starting;
    for (const std::string& k : known)
        if (k.size() > typed.size() && k.compare(0, typed.size(), typed) == 0 &&
            std::find(starting.begin(), starting.end(), k) == starting.end())
            starting.push_back(k);
    if (!starting.empty())
        return starting;
    const std::size_t allowed = std::clamp<std::size_t>(typed.size() / 3, 1, 3);
    std::size_t best = allowed + 1;
    std::string nearest;
    for (const std::string& k : known)
        if (const std::size_t d = editDistance(typed, k); d < best) {
            best = d;
            nearest = k;
        }
    if (nearest.empty())
        return {};
    return {nearest};
}

std::string didYouMean(const std::vector<std::string>& names, const std::string& prefix)
{
    if (names.empty())
        return {};
    std::string text = " (did you mean ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != 0)
            text += i + 1 == names.size() ? " or " : ", ";
        text += prefix + names[i];
    }
    return text + "?)";
}

} // namespace sarvik::cli
