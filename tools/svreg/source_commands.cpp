// svreg source copy and svreg source read: the workspace form of a source file.
#include <fmt/core.h>
#include <sys/stat.h>

#include <filesystem>

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
    const std::string type = workspace->KnownType(copy_args->type);
    RefuseOwnSource(copy_args->from, copy_args->to);
    svregistration::SVStandard service;
    service.CopySource(workspace, type, copy_args->from, copy_args->to);
    if (copy_args->json) {
      PrintJson({{"ok", true}, {"to", copy_args->to}});
    } else {
      WriteStdout(fmt::format("wrote {}: the {} workspace form of {}\n", copy_args->to, type,
                              copy_args->from));
    }
  });

  auto read_args = std::make_shared<SourceArgs>();
  auto* read = source->add_subcommand("read", "Write the workspace form of FROM to stdout");
  read->add_option("DIR", read_args->directory, "The workspace folder")->required();
  read->add_option("--type", read_args->type, "The object type whose settings apply")->required();
  read->add_option("FROM", read_args->from, "The source file")->required();
  read->callback([read_args] {
    auto workspace = svregistration::workspace::WorkspaceHost::Open(read_args->directory);
    const std::string type = workspace->KnownType(read_args->type);
    svregistration::SVStandard service;
    service.ReadSourceTo(workspace, type, read_args->from,
                         [](const std::uint8_t* bytes, std::size_t size) {
                           WriteStdout({reinterpret_cast<const char*>(bytes), size});
                         });
  });
}

}  // namespace svreg
