// Running a program for the tests: its output, error output and exit status.
#include "support/run_command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace svregistration::testing {

std::string SvregBinary() { return SVREG_SVREG_BINARY; }

int StartSvreg(const std::vector<std::string>& args, const std::string& out, const std::string& err,
               const std::string& in) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

  std::vector<std::string> argv_text{SvregBinary()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + SvregBinary());
  return pid;
}

int WaitSvreg(int pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

CommandResult RunSvreg(const std::vector<std::string>& args, const std::string& input) {
  TempDir io;
  const int exit_code =
      WaitSvreg(StartSvreg(args, io / "stdout", io / "stderr", io.Write("stdin", input)));
  return {exit_code, ReadFile(io / "stdout"), ReadFile(io / "stderr")};
}

CommandResult ExpectSvregFails(const std::vector<std::string>& args, int exit_code,
                               const std::vector<std::string>& parts) {
  CommandResult result = RunSvreg(args);
  EXPECT_EQ(result.exit_code, exit_code) << args[0] << ": " << result.err;
  for (const std::string& part : parts) {
    EXPECT_NE(result.err.find(part), std::string::npos) << part << " in " << result.err;
  }
  return result;
}

}  // namespace svregistration::testing
