// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one option parser of every subcommand (getopt_long underneath), and the
// help texts made from the same option tables, so that what a command accepts
// and what its help says cannot drift apart.

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::cli {

/// One long option of a command.
struct OptionSpec {
    const char* name; ///< without the leading "--"
    /// The value's placeholder ("DIR"), or nullptr for a flag; one in brackets
    /// ("[=all]") is a value that may be left out, given only as "--opt=value".
    const char* value;
    const char* help; ///< one line for the command's help
};

/// A subcommand: its name, what it takes, and its options.
struct CommandSpec {
    const char* name;
    const char* arguments; ///< the positional arguments, as the usage line shows them
    const char* summary;   ///< one line for the general help
    std::vector<OptionSpec> options;
    const char* details = nullptr; ///< further lines for the command's own help
};

/// What a command line held once parsed.
class ParsedArgs {
public:
    std::vector<std::string> positional;

    [[nodiscard]] bool has(const std::string& name) const { return m_values.contains(name); }
    /// The last value given for `name`, or nothing.
    [[nodiscard]] std::optional<std::string> value(const std::string& name) const;
    /// Every value given for `name`, in order (options that may repeat).
    [[nodiscard]] std::vector<std::string> values(const std::string& name) const;
    /// The name, of `names`, given last on the command line (for pairs such as
    /// --classic/--thorough where the last one wins); nothing when none was.
    [[nodiscard]] std::optional<std::string> lastOf(const std::vector<std::string>& names) const;

    void add(const std::string& name, std::string value, int position);

private:
    std::map<std::string, std::vector<std::pair<int, std::string>>> m_values;
};

/// The options shared by scan, ls, find and recover (what to open and how).
[[nodiscard]] std::vector<OptionSpec> sessionOptions();
/// --min-size, --max-size, --since, --until, --id, --filter, --dry-run.
[[nodiscard]] std::vector<OptionSpec> selectionOptions(bool withDryRun);

/// Every subcommand, in the order the general help lists them.
[[nodiscard]] const std::vector<CommandSpec>& commandSpecs();
/// The subcommand called `name`, or null.
[[nodiscard]] const CommandSpec* findCommand(const std::string& name);

/// "usage: sarvik NAME ARGUMENTS [OPTION]..."
void printUsageLine(const CommandSpec& spec, std::FILE* out);
/// The usage line, the summary, every option with its help, and the details.
void printCommandHelp(const CommandSpec& spec, std::FILE* out);

/// Parses `args` (the words after the command's name) by `spec`. "--opt=value"
/// and "--opt value" both work, "--" ends the options, and --help is known to
/// every command. Returns nothing when the command should run; otherwise the
/// exit status: 0 after printing the help for --help, 2 after naming what was
/// wrong (an unknown option, a missing value) and the usage line on standard error.
[[nodiscard]] std::optional<int> parseArgs(const CommandSpec& spec, const std::vector<std::string>& args,
                                           ParsedArgs& parsed);

/// What `typed` was most likely meant to be, of `known`: the names it is the
/// start of (an abbreviation that fits several), else the one closest to it
/// when at most a third of its letters (at least one, at most three) must be
/// typed, dropped, swapped or changed to reach it; nothing when none is close.
[[nodiscard]] std::vector<std::string> nearestNames(const std::string& typed, const std::vector<std::string>& known);

/// " (did you mean --deep?)", " (did you mean --deep or --dry-run?)", or
/// nothing: the hint after an unknown word, each of `names` with `prefix`.
[[nodiscard]] std::string didYouMean(const std::vector<std::string>& names, const std::string& prefix);

/// Names a usage error of `command` on standard error with its usage line; returns 2.
int usageError(const CommandSpec& spec, const std::string& message);

} // namespace sarvik::cli
