// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace sarvik::cli {

/// The exit statuses of sarvik, as `sarvik help` lists them.
enum ExitStatus : int {
    kExitDone = 0,          ///< everything asked was done
    kExitFailed = 1,        ///< it could not be done (cannot open, not a volume, destination, memory, output)
    kExitUsage = 2,         ///< the command line was wrong
    kExitLosses = 3,        ///< done, with losses: unreadable sectors or records, files not whole, wrong volume
    kExitInterrupted = 130, ///< Ctrl-C
};

/// The status that says more of two outcomes: interrupted, then failed, then losses.
[[nodiscard]] int worseStatus(int a, int b) noexcept;

class ParsedArgs;
struct CommandSpec;

// Each subcommand runs on its command line, already parsed by its spec.
int runDrives(const CommandSpec& spec, const ParsedArgs& parsed);
int runInfo(const CommandSpec& spec, const ParsedArgs& parsed);
int runScan(const CommandSpec& spec, const ParsedArgs& parsed);
int runLs(const CommandSpec& spec, const ParsedArgs& parsed);
int runRecover(const CommandSpec& spec, const ParsedArgs& parsed);
int runFind(const CommandSpec& spec, const ParsedArgs& parsed);
int runCarve(const CommandSpec& spec, const ParsedArgs& parsed);
int runVolumes(const CommandSpec& spec, const ParsedArgs& parsed);
int runCat(const CommandSpec& spec, const ParsedArgs& parsed);

} // namespace sarvik::cli
