// svreg: brings legacy sources into a workspace and keeps them there, from the command line.
#include <fmt/core.h>
#include <malloc.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <exception>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"

namespace {

bool WantsJson(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

// An error as the user reads it: a line on stderr, or in --json mode a JSON document there.
int ReportError(bool json, int number, const std::string& source, const std::string& text,
                int status) {
  if (json) {
    nlohmann::json error = {{"ok", false},
                            {"error", {{"number", number}, {"source", source}, {"text", text}}}};
    fmt::print(stderr, "{}\n",
               error.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  } else if (number != 0) {
    fmt::print(stderr, "svreg: {} ({})\n", text, number);
  } else {
    fmt::print(stderr, "svreg: {}\n", text);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // A run over thousands of files frees and takes back the same few hundred kilobytes for each:
  // kept by the process, they are not returned to the system and faulted in again every file.
  ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
  CLI::App app{"svreg: registers legacy mainframe sources into a workspace and keeps them there"};
  app.name("svreg");
  app.require_subcommand(1);
  app.set_version_flag("--version", "svreg 0.1.0");
  app.footer(svreg::MainFooter());
  svreg::Context context;
  svreg::AddWorkspaceCommands(app, context);
  svreg::AddSourceCommands(app, context);
  svreg::AddCodepageCommands(app, context);
  svreg::AddArchiveCommands(app, context);
  svreg::AddObjectCommands(app, context);
  svreg::AddRegister(app, context);
  svreg::AddLifecycleCommands(app, context);
  svreg::AddStatusCommands(app, context);
  svreg::AddHelpCommand(app);
  const bool json = WantsJson(argc, argv);
  if (auto unknown = svreg::UnknownCommand(app, argc, argv)) {
    return ReportError(json, 0, "svreg", *unknown, 2);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return ReportError(json, 0, "svreg", std::string(e.what()) + " (svreg help tells more)", 2);
  } catch (const svregistration::Error& e) {
    return ReportError(json, e.number(), e.source(), e.description(), 2);
  } catch (const std::exception& e) {
    return ReportError(json, 0, "svreg", e.what(), 2);
  }
  return context.exit_code;
}
