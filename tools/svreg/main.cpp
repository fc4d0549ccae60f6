// svreg: brings legacy sources into a workspace and keeps them there, from the command line.
#include <fmt/core.h>
#include <malloc.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>

#include "commands.h"
#include "svregistration/error.h"

int main(int argc, char** argv) {
  // A run over thousands of files frees and takes back the same few hundred kilobytes for each:
  // kept by the process, they are not returned to the system and faulted in again every file.
  ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
  CLI::App app{"svreg: registers legacy mainframe sources into a workspace and keeps them there"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "svreg 0.1.0");
  svreg::Context context;
  svreg::AddWorkspaceCommands(app, context);
  svreg::AddSourceCommands(app, context);
  svreg::AddCodepageCommands(app, context);
  svreg::AddArchiveCommands(app, context);
  svreg::AddObjectCommands(app, context);
  svreg::AddLifecycleCommands(app, context);
  svreg::AddStatusCommands(app, context);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int status = app.exit(e);
    return status == 0 ? 0 : 2;
  } catch (const svregistration::Error& e) {
    fmt::print(stderr, "svreg: {} ({})\n", e.description(), e.number());
    return 2;
  } catch (const std::exception& e) {
    fmt::print(stderr, "svreg: {}\n", e.what());
    return 2;
  }
  return context.exit_code;
}
