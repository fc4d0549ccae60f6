// svreg source copy and svreg source read: the workspace form of a source file.
#include <fmt/core.h>

#include "commands.h"
#include "output.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

struct SourceArgs {
  std::string directory;
  std::string type;
  std::string from;
  std::string to;
  bool json = false;
};

}  // namespace

void AddSourceCommands(CLI::App& app, Context& /*context*/) {
  auto* source = app.add_subcommand("source", "Copy or read a source in its workspace form");
  source->require_subcommand(1);

  auto copy_args = std::make_shared<SourceArgs>();
  auto* copy = source->add_subcommand("copy", "Write the workspace form of FROM to TO");
  copy->add_option("DIR", copy_args->directory, "The workspace folder")->required();
  copy->add_option("--type", copy_args->type, "The object type whose settings apply")->required();
  copy->add_option("FROM", copy_args->from, "The source file")->required();
  copy->add_option("TO", copy_args->to, "The file to write")->required();
  copy->add_flag("--json", copy_args->json, "Print the result as JSON");
  copy->callback([copy_args] {
    auto workspace = svregistration::workspace::WorkspaceHost::Open(copy_args->directory);
    svregistration::SVStandard service;
    service.CopySource(workspace, copy_args->type, copy_args->from, copy_args->to);
    if (copy_args->json) PrintJson({{"ok", true}, {"to", copy_args->to}});
  });

  auto read_args = std::make_shared<SourceArgs>();
  auto* read = source->add_subcommand("read", "Write the workspace form of FROM to stdout");
  read->add_option("DIR", read_args->directory, "The workspace folder")->required();
  read->add_option("--type", read_args->type, "The object type whose settings apply")->required();
  read->add_option("FROM", read_args->from, "The source file")->required();
  read->callback([read_args] {
    auto workspace = svregistration::workspace::WorkspaceHost::Open(read_args->directory);
    svregistration::SVStandard service;
    service.ReadSourceTo(workspace, read_args->type, read_args->from,
                         [](const std::uint8_t* bytes, std::size_t size) {
                           WriteStdout({reinterpret_cast<const char*>(bytes), size});
                         });
  });
}

}  // namespace svreg
