// svreg register, objects, types, folder, generated and log: registering sources and looking at
// what a workspace holds.
#include <fmt/core.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "commands.h"
#include "output.h"
#include "progress.h"
#include "svregistration/error.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/pending_work.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg {

namespace {

namespace fs = std::filesystem;
using svregistration::Error;
using svregistration::workspace::Batch;
using svregistration::workspace::PendingWork;
using svregistration::workspace::WorkspaceHost;

// Calls `visit` for every file under `path` (itself when it is no folder), folders walked
// recursively in name order; a folder reached twice through links is walked once. `type` is what
// the folder listing said the entry is: a plain file needs no look of its own.
template <class Visit>
void WalkFiles(const fs::path& path, fs::file_type type, Visit&& visit,
               std::set<std::pair<dev_t, ino_t>>& seen) {
  struct stat info {};
  if (type == fs::file_type::regular || ::stat(path.c_str(), &info) != 0 ||
      !S_ISDIR(info.st_mode)) {
    visit(path);
    return;
  }
  if (!seen.insert({info.st_dev, info.st_ino}).second) return;
  std::vector<std::pair<fs::path, fs::file_type>> entries;
  std::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    // The listing's own type, where it gives one; a link is looked at through.
    std::error_code type_ec;
    const bool plain = !it->is_symlink(type_ec) && it->is_regular_file(type_ec);
    entries.emplace_back(it->path(), plain ? fs::file_type::regular : fs::file_type::unknown);
  }
  if (ec) {
    throw Error(svregistration::error_number::kPathFileAccessError, "svreg",
                fmt::format("cannot read the folder '{}': {}", path.string(), ec.message()));
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& [entry, entry_type] : entries) WalkFiles(entry, entry_type, visit, seen);
}

template <class Visit>
void WalkAll(const std::vector<fs::path>& paths, Visit&& visit) {
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const fs::path& path : paths) WalkFiles(path, fs::file_type::unknown, visit, seen);
}

struct RegisterArgs {
  std::string directory;
  std::string type;
  std::string name;
  std::vector<std::string> paths;
  bool encoding = false;
  bool verbose = false;
  bool json = false;
};

// Restores the thread's default interface when the command ends.
struct InterfaceScope {
  ~InterfaceScope() { svregistration::SetUserInterface(nullptr); }
};

// What one file's registration came to.
struct RegisterResult {
  std::string file;
  std::string name;
  int code = 0;
  std::string id;
  /// The registered copy this run wrote where no file was (relative to the root), "" otherwise.
  std::string copy;
  std::string error;
};

// Prints results only once they are kept (committed), as JSON or as lines, and counts them.
class ResultPrinter {
 public:
  explicit ResultPrinter(const RegisterArgs& args) : args_(args) {
    if (args_.json) WriteStdout("{\"results\":[");
  }

  void Print(const std::vector<RegisterResult>& results) {
    std::string text;
    for (const RegisterResult& r : results) {
      ++counts_[r.code];
      ++done_;
      if (args_.json) {
        nlohmann::json item = {{"file", r.file},
                               {"name", r.name},
                               {"code", r.code},
                               {"result", svregistration::ResultName(r.code)},
                               {"id", r.id}};
        if (!r.error.empty()) item["error"] = r.error;
        text += (first_ ? "" : ",") +
                item.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        first_ = false;
      } else if (r.code != svregistration::rOK || args_.verbose) {
        text += fmt::format("{:<30} {} {}{}\n", svregistration::ResultName(r.code), r.file, r.id,
                            r.error.empty() ? "" : "(not registered: " + r.error + ")");
      }
    }
    WriteStdout(text);
  }

  void Finish() {
    if (args_.json) {
      WriteStdout("]}\n");
      return;
    }
    std::string summary = fmt::format("{} file{}:", done_, done_ == 1 ? "" : "s");
    for (const auto& [code, count] : counts_) {
      summary += fmt::format(" {} {}", count, svregistration::ResultName(code));
    }
    WriteStdout(summary + "\n");
    if (counts_.count(svregistration::rUnexpectedRegistrationError) != 0) {
      WriteStdout("(the workspace log tells what went wrong: svreg log " + args_.directory + ")\n");
    }
  }

  /// True when every file registered.
  bool AllRegistered() const {
    return counts_.size() == 1 && counts_.count(svregistration::rOK) != 0;
  }
  long done() const { return done_; }

 private:
  const RegisterArgs& args_;
  std::map<int, long> counts_;
  long done_ = 0;
  bool first_ = true;
};

// Thrown out of the walk when a commit failed: nothing more is registered.
struct CommitFailed {};

// The results of a batch whose commit failed were not kept: the copies this run wrote for them
// go, they are reported as not registered, and the log says why (when it still can).
void ReportLostBatch(WorkspaceHost& workspace, std::vector<RegisterResult>& lost,
                     const Error& failure, ResultPrinter& printer) {
  for (RegisterResult& r : lost) {
    if (r.code != svregistration::rOK) continue;
    if (!r.copy.empty()) ::unlink((fs::path(workspace.root()) / r.copy).c_str());
    r.code = svregistration::rUnexpectedRegistrationError;
    r.id.clear();
    r.error = failure.description();
  }
  printer.Print(lost);
  try {
    workspace.log()->Add("Register", svregistration::host::kSeverityError, std::nullopt,
                         fmt::format("{} file{} not registered: {}", lost.size(),
                                     lost.size() == 1 ? " was" : "s were", failure.description()));
  } catch (const Error&) {
    // The repository that failed to commit may refuse the record too; stderr still says why.
  }
}

void RunRegister(const RegisterArgs& args, Context& context) {
  auto workspace = WorkspaceHost::Open(args.directory);
  svregistration::workspace::RecoverInterruptedWork(workspace);
  std::vector<fs::path> paths;
  for (const std::string& path : args.paths) paths.push_back(fs::absolute(path).lexically_normal());
  if (!args.name.empty() && (paths.size() != 1 || fs::is_directory(paths[0]))) {
    throw Error(5, "svreg", "--name names one object: give exactly one file with it");
  }
  try {
    workspace->repository()->SchemaObjectType(args.type);
  } catch (const Error& e) {  // otherwise every file would fail with an unexplained 256
    if (e.number() != svregistration::error_number::kSubscriptOutOfRange) throw;
    throw Error(5, "svreg",
                fmt::format("the object type '{}' does not exist in {} (svreg types "
                            "lists the types)",
                            args.type, args.directory));
  }

  InterfaceScope scope;
  auto ui = ProgressInterface::Install("register");
  long total = 0;
  if (ProgressBar("").enabled()) WalkAll(paths, [&](const fs::path&) { ++total; });

  svregistration::SVStandard service;
  const std::string sources = workspace->SourcesDirectoryOf(workspace->SchemaTypeName(args.type));
  PendingWork journal(workspace->root());
  ResultPrinter printer(args);
  std::vector<RegisterResult> pending;  // registered since the last commit
  std::optional<Error> commit_failure;
  long done = 0;
  {
    // Committed between files only, so that an interrupted run never leaves an object without
    // its copy recorded.
    Batch batch(*workspace, true);
    auto commit = [&](bool last) {
      try {
        if (last) {
          batch.End();
        } else if (!batch.Checkpoint()) {
          return;
        }
      } catch (const Error& e) {
        commit_failure = e;
        throw CommitFailed{};
      }
      printer.Print(pending);
      pending.clear();
      journal.CopiesCommitted();
    };
    try {
      WalkAll(paths, [&](const fs::path& file) {
        RegisterResult r;
        r.file = file.string();
        r.name = args.name.empty() ? file.filename().string() : args.name;
        const std::string relative = sources + "/" + file.filename().string();
        std::error_code ec;
        const bool fresh =
            !fs::exists(fs::symlink_status(fs::path(workspace->root()) / relative, ec));
        if (fresh) journal.RecordCopy(relative);
        r.code = service.RegisterEx(workspace, args.type, r.name, r.file, args.encoding);
        if (r.code == svregistration::rOK) {
          r.id = service.RegisteredObjectId();
          if (fresh) r.copy = relative;
        } else if (fresh && fs::exists(fs::path(workspace->root()) / relative, ec)) {
          journal.RecordKeep(relative);  // a refused registration keeps its copy
        }
        pending.push_back(std::move(r));
        ui->ReportProgress("register", ++done, total);
        commit(false);
      });
      commit(true);
      journal.Finished();
    } catch (const CommitFailed&) {
      ReportLostBatch(*workspace, pending, *commit_failure, printer);
      journal.Finished();
      printer.Finish();
      throw *commit_failure;
    } catch (const Error&) {
      commit(true);  // what was registered before the walk failed is kept and reported
      printer.Finish();
      throw;
    }
  }
  printer.Finish();
  if (!printer.AllRegistered() && printer.done() > 0) context.exit_code = 1;
}

void AddRegister(CLI::App& app, Context& context) {
  auto args = std::make_shared<RegisterArgs>();
  auto* command = app.add_subcommand(
      "register", "Register files (folders are walked recursively, in name order) as objects");
  command->add_option("DIR", args->directory, "The workspace folder")->required();
  command->add_option("--type", args->type, "The object type (COBOL, COPYBOOK, JCL, PLI, BMS...)")
      ->required();
  command->add_flag(
      "--encoding", args->encoding,
      "Normalise the copy (tabs, sequence numbers, SO/SI, EBCDIC) as the options say");
  command->add_option("--name", args->name, "The object name (one file only; default: file name)");
  command->add_option("PATH", args->paths, "Files or folders to register")->required();
  command->add_flag("-v,--verbose", args->verbose,
                    "List every file, not only those not registered");
  command->add_flag("--json", args->json, "Print the results as JSON");
  command->callback([args, &context] { RunRegister(*args, context); });
}

void AddListings(CLI::App& app) {
  auto objects_dir = std::make_shared<std::string>();
  auto objects_type = std::make_shared<std::string>();
  auto objects_json = std::make_shared<bool>(false);
  auto* objects = app.add_subcommand("objects", "List the objects of a workspace");
  objects->add_option("DIR", *objects_dir, "The workspace folder")->required();
  objects->add_option("--type", *objects_type, "Only objects of this type");
  objects->add_flag("--json", *objects_json, "Print the objects as JSON");
  objects->callback([=] {
    auto workspace = WorkspaceHost::Open(*objects_dir);
    auto list = workspace->repository()->ListObjects(
        objects_type->empty() ? std::nullopt : std::optional<std::string>(*objects_type));
    if (*objects_json) {
      nlohmann::json items = nlohmann::json::array();
      for (const auto& o : list) {
        items.push_back({{"id", o.id},
                         {"type", o.type},
                         {"name", o.name},
                         {"source", o.source},
                         {"original", o.original}});
      }
      PrintJson({{"objects", items}});
      return;
    }
    std::string text;
    for (const auto& o : list) {
      text += fmt::format("{:<14} {:<10} {:<24} {:<36} {}\n", o.id, o.type, o.name, o.source,
                          o.original);
    }
    WriteStdout(text);
  });

  auto types_dir = std::make_shared<std::string>();
  auto types_json = std::make_shared<bool>(false);
  auto* types = app.add_subcommand("types", "List the object types of a workspace");
  types->add_option("DIR", *types_dir, "The workspace folder")->required();
  types->add_flag("--json", *types_json, "Print the types as JSON");
  types->callback([=] {
    auto workspace = WorkspaceHost::Open(*types_dir);
    nlohmann::json items = nlohmann::json::array();
    std::string text;
    for (const auto& t : workspace->repository()->ObjectTypes()) {
      items.push_back({{"code", t.code},
                       {"display_name", t.display_name},
                       {"source_attribute", t.source_attribute},
                       {"handler", t.handler}});
      text += fmt::format("{:<10} {:<24} {:<8} {}\n", t.code, t.display_name, t.source_attribute,
                          t.handler);
    }
    if (*types_json) {
      PrintJson({{"types", items}});
    } else {
      WriteStdout(text);
    }
  });

  auto log_dir = std::make_shared<std::string>();
  auto log_json = std::make_shared<bool>(false);
  auto* log = app.add_subcommand("log", "Show the workspace log");
  log->add_option("DIR", *log_dir, "The workspace folder")->required();
  log->add_flag("--json", *log_json, "Print the log as JSON");
  log->callback([=] {
    auto workspace = WorkspaceHost::Open(*log_dir);
    nlohmann::json items = nlohmann::json::array();
    std::string text;
    for (const auto& r : workspace->log()->Records()) {
      items.push_back({{"time", r.time},
                       {"title", r.title},
                       {"severity", r.severity},
                       {"object", r.object_id.value_or("")},
                       {"text", r.text}});
      text += fmt::format("{} {:<5} {:<16} {:<14} {}\n", r.time,
                          r.severity == 2   ? "ERROR"
                          : r.severity == 1 ? "WARN"
                                            : "info",
                          r.title, r.object_id.value_or("-"), r.text);
    }
    if (*log_json) {
      PrintJson({{"log", items}});
    } else {
      WriteStdout(text);
    }
  });
}

void AddFolderAndGenerated(CLI::App& app) {
  auto* folder = app.add_subcommand("folder", "Make folder objects and put objects into them");
  folder->require_subcommand(1);
  struct FolderArgs {
    std::string directory, name, folder_id;
    std::vector<std::string> ids;
    bool json = false;
  };
  auto args = std::make_shared<FolderArgs>();
  auto* create = folder->add_subcommand("create", "Make a folder object; prints its id");
  create->add_option("DIR", args->directory, "The workspace folder")->required();
  create->add_option("NAME", args->name, "The folder's name")->required();
  create->add_flag("--json", args->json, "Print the id as JSON");
  create->callback([args] {
    auto workspace = WorkspaceHost::Open(args->directory);
    std::string id = workspace->repository()->CreateFolder(args->name)->Id();
    if (args->json) {
      PrintJson({{"id", id}});
    } else {
      WriteStdout(id + "\n");
    }
  });
  auto* add = folder->add_subcommand("add", "Put objects into a folder (BelongsTo relations)");
  add->add_option("DIR", args->directory, "The workspace folder")->required();
  add->add_option("FOLDER_ID", args->folder_id, "The folder object's id")->required();
  add->add_option("ID", args->ids, "The objects' ids")->required();
  add->add_flag("--json", args->json, "Print the result as JSON");
  add->callback([args] {
    auto workspace = WorkspaceHost::Open(args->directory);
    workspace->repository()->AddToFolder(args->folder_id, args->ids);
    if (args->json) PrintJson({{"ok", true}});
  });

  auto* generated = app.add_subcommand("generated", "Record generated file entries of an object");
  generated->require_subcommand(1);
  auto gen = std::make_shared<FolderArgs>();
  auto* generated_add = generated->add_subcommand(
      "add",
      "Record entries such as .out/x.lst (a file), :out/x.mf (a manifest), \\gen (a folder)");
  generated_add->add_option("DIR", gen->directory, "The workspace folder")->required();
  generated_add->add_option("ID", gen->folder_id, "The object's id")->required();
  generated_add->add_option("ENTRY", gen->ids, "File entries: a marker and a relative path")
      ->required();
  generated_add->add_flag("--json", gen->json, "Print the result as JSON");
  generated_add->callback([gen] {
    auto workspace = WorkspaceHost::Open(gen->directory);
    workspace->repository()->AddGeneratedEntries(gen->folder_id, gen->ids);
    if (gen->json) PrintJson({{"ok", true}});
  });
}

}  // namespace

void AddObjectCommands(CLI::App& app, Context& context) {
  AddRegister(app, context);
  AddListings(app);
  AddFolderAndGenerated(app);
}

}  // namespace svreg
