// The command groups of svreg. Each Add*Commands attaches its subcommands to the application; a
// command's callback sets the exit status in the context (0 success, 1 an operation reported
// failure) and raises svregistration::Error for anything else (reported by main, status 2).
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace svreg {

struct Context {
  int exit_code = 0;
};

void AddWorkspaceCommands(CLI::App& app, Context& context);  // init, option
void AddSourceCommands(CLI::App& app, Context& context);     // source copy|read
void AddCodepageCommands(CLI::App& app,
                         Context& context);                // codepage import|from-icu|decode|encode
void AddArchiveCommands(CLI::App& app, Context& context);  // zip, rar
void AddObjectCommands(CLI::App& app,
                       Context& context);  // register, objects, types, folder, generated, log
void AddLifecycleCommands(CLI::App& app, Context& context);  // unregister, invalidate, refresh
void AddRegister(CLI::App& app, Context& context);           // register
void AddStatusCommands(CLI::App& app, Context& context);     // status, diff, clean
/// svreg help, and the examples at the end of each command's help.
void AddHelpCommand(CLI::App& app);
std::string MainFooter();
/// "'regster' is not a svreg command; did you mean register?" when the first words of the
/// command line name no command; nullopt when they do.
std::optional<std::string> UnknownCommand(CLI::App& app, int argc, char** argv);

}  // namespace svreg
