#pragma once

#include <string>
#include <vector>

namespace sarvik::cli {

int runDrives(const std::vector<std::string>& args);
int runInfo(const std::vector<std::string>& args);
int runScan(const std::vector<std::string>& args);
int runLs(const std::vector<std::string>& args);
int runRecover(const std::vector<std::string>& args);
int runFind(const std::vector<std::string>& args);

} // namespace sarvik::cli
