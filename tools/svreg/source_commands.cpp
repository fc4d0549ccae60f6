// svreg source copy and svreg source read: the workspace form of a source file.
#include <fmt/core.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include "commands.h"
#include "output.h"
#include "svregistration/error.h"
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

// Writing the workspace form over its own source would normalise the original in place.
void RefuseOwnSource(const std::string& from, const std::string& to) {
  struct stat a {};
  struct stat b {};
  const bool same = std::filesystem::absolute(from).lexically_normal() ==
                        std::filesystem::absolute(to).lexically_normal() ||
                    (::stat(from.c_str(), &a) == 0 && ::stat(to.c_str(), &b) == 0 &&
                     a.st_dev == b.st_dev && a.st_ino == b.st_ino);
  if (same) {
    throw svregistration::Error(
        svregistration::error_number::kInvalidProcedureCall, "svreg",
        fmt::format("'{}' is the source itself: the copy would replace its original", to));
  }
}

void RunCopy(const SourceArgs& args) {
  auto workspace = svregistration::workspace::WorkspaceHost::Open(args.directory);
  const std::string type = workspace->KnownType(args.type);
  RefuseOwnSource(args.from, args.to);
  svregistration::SVStandard service;
  service.CopySource(workspace, type, args.from, args.to);
  if (args.json) {
    PrintJson({{"ok", true}, {"to", args.to}});
  } else {
    WriteStdout(fmt::format("wrote {}: the {} workspace form of {}\n", args.to, type, args.from));
  }
}

void RunRead(const SourceArgs& args) {
  auto workspace = svregistration::workspace::WorkspaceHost::Open(args.directory);
  const std::string type = workspace->KnownType(args.type);
  svregistration::SVStandard service;
  service.ReadSourceTo(workspace, type, args.from, [](const std::uint8_t* bytes, std::size_t size) {
    WriteStdout({reinterpret_cast<const char*>(bytes), size});
  });
}

void AddCopy(CLI::App& source) {
  auto args = std::make_shared<SourceArgs>();
  auto* copy = source.add_subcommand("copy", "Write the workspace form of FROM to TO");
  copy->add_option("DIR", args->directory, "The workspace folder")->required();
  copy->add_option("--type", args->type, "The object type whose settings apply")->required();
  copy->add_option("FROM", args->from, "The source file")->required();
  copy->add_option("TO", args->to, "The file to write")->required();
  copy->add_flag("--json", args->json, "Print the result as JSON");
  copy->callback([args] { RunCopy(*args); });
}

void AddRead(CLI::App& source) {
  auto args = std::make_shared<SourceArgs>();
  auto* read = source.add_subcommand("read", "Write the workspace form of FROM to stdout");
  read->add_option("DIR", args->directory, "The workspace folder")->required();
  read->add_option("--type", args->type, "The object type whose settings apply")->required();
  read->add_option("FROM", args->from, "The source file")->required();
  read->callback([args] { RunRead(*args); });
}

}  // namespace

void AddSourceCommands(CLI::App& app, Context& /*context*/) {
  auto* source = app.add_subcommand("source", "Copy or read a source in its workspace form");
  source->require_subcommand(1);
  AddCopy(*source);
  AddRead(*source);
}

}  // namespace svreg
