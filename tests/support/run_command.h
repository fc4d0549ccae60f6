// Runs svreg (the built tool) as a separate process and captures its exit status and output.
#pragma once

#include <string>
#include <vector>

namespace svregistration::testing {

struct CommandResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

/// Runs svreg with the arguments (no shell), optional standard input, and extra environment
/// assignments ("NAME=value").
CommandResult RunSvreg(const std::vector<std::string>& args, const std::string& input = "",
                       const std::vector<std::string>& environment = {});

/// The path of the built svreg.
std::string SvregBinary();

}  // namespace svregistration::testing
