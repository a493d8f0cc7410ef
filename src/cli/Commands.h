#pragma once

#include <string>
#include <vector>

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

int runDrives(const std::vector<std::string>& args);
int runInfo(const std::vector<std::string>& args);
int runScan(const std::vector<std::string>& args);
int runLs(const std::vector<std::string>& args);
int runRecover(const std::vector<std::string>& args);
int runFind(const std::vector<std::string>& args);
int runCarve(const std::vector<std::string>& args);

} // namespace sarvik::cli
