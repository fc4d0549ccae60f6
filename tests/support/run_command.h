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

/// Runs svreg with the arguments (no shell), optional standard input, and the test's environment.
CommandResult RunSvreg(const std::vector<std::string>& args, const std::string& input = "");

/// Runs svreg, expecting it to end with `exit_code` having written each of `parts` to standard
/// error; the result.
CommandResult ExpectSvregFails(const std::vector<std::string>& args, int exit_code,
                               const std::vector<std::string>& parts);

/// Starts svreg in the background with its output going to the files `out` and `err` and its
/// input read from the file `in`; its process id.
int StartSvreg(const std::vector<std::string>& args, const std::string& out, const std::string& err,
               const std::string& in = "/dev/null");
/// Waits for a process StartSvreg started: its exit code, 128 + the signal when one ended it.
int WaitSvreg(int pid);

/// The path of the built svreg.
std::string SvregBinary();

}  // namespace svregistration::testing
