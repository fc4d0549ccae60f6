// The registration run: the walk, one registration per file, the batch commits, the journal of
// the copies it makes, and what it tells about each file.
#include "svregistration/workspace/registration_run.h"

#include <fmt/core.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <map>
#include <unordered_set>

#include "svregistration/class_registry.h"
#include "svregistration/host/registration_handler.h"
#include "svregistration/registration_steps.h"
#include "svregistration/results.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/copy_recipe.h"
#include "svregistration/workspace/pending_work.h"
#include "svregistration/workspace/workspace_host.h"
#include "workspace/beneath.h"
#include "workspace/copy_comparison.h"
#include "workspace/copy_pool.h"
#include "workspace/error_source.h"
#include "workspace/extension_types.h"
#include "workspace/file_threads.h"
#include "workspace/file_walk.h"
#include "workspace/recorded_paths.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSource = kWorkspaceErrorSource;

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat x {};
  struct stat y {};
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}

// Results the registration made a copy for (a refused file, an object name held by another, an
// error after the copy): a copy this run made for them is removed again.
bool CopyMayBeLeft(int code) {
  return code == rNoRefreshNeeded || code == rObjectAllreadyExists ||
         code == rUnexpectedRegistrationError;
}

// The last component of a path the walk gives ("/" between components).
std::string FileName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Thrown out of the walk when a commit failed: nothing more is registered.
struct CommitFailed {};

class Runner {
  // A file taken from the walk and not yet recorded.
  struct Taken {
    FileResult result;
    /// The copy's path relative to the root.
    std::string relative;
    std::optional<RegistrationCopy> copy;
    /// The plan raised: the registration failed before it copied.
    bool plan_failed = false;
    /// Nothing stood at the copy's name: the copy made there is this run's.
    bool fresh = false;
    /// The copy is to be handed to the copying threads with the next batch.
    bool to_hand = false;
    /// The copy was handed to the copying threads under this ticket.
    std::optional<std::uint64_t> ticket;
  };

 public:
  Runner(const std::shared_ptr<WorkspaceHost>& workspace, const RegistrationRequest& request,
         std::string type, RegistrationRun::ResultSink sink)
      : sink_(std::move(sink)),
        workspace_(workspace),
        request_(request),
        type_(std::move(type)),
        extensions_(ExtensionTypes::Read(*workspace)),
        journal_(workspace->root()),
        steps_(service_, workspace, request.with_encoding),
        pool_(HelperThreadsForFiles()) {}

  RegistrationReport Run(const std::vector<std::string>& paths,
                         const RegistrationRun::Progress& progress) {
    progress_ = progress;
    if (progress) WalkFiles(paths, [&](const std::string&, bool) { ++total_; });
    {
      Batch batch(*workspace_, true);
      batch_ = &batch;
      try {
        WalkFiles(paths, [&](const std::string& file, bool named) {
          TakeFile(file, named);
          RecordMade();
          CommitIfDue();
        });
        RecordAll();
        Commit(true);
      } catch (const CommitFailed&) {
      } catch (const Error& e) {
        report_.error = e;
        FinishAfter();
      }
      Abandon();
      journal_.Finished();
    }
    return std::move(report_);
  }

 private:
  std::string TypeFor(const std::string& file, bool named) const {
    if (type_.empty()) return extensions_.TypeOf(file);
    return named || extensions_.Lists(type_, file) ? type_ : "";
  }

  // A file taken in walk order: its copy planned, journaled and handed to the copying threads,
  // or its result settled at once; recorded later, in the same order.
  void TakeFile(const std::string& file, bool named) {
    auto taken = std::make_unique<Taken>();
    FileResult& r = taken->result;
    r.file = file;
    r.type = TypeFor(file, named);
    const std::string file_name = FileName(file);
    r.name = request_.name.empty() ? file_name : request_.name;
    std::error_code ec;
    if (named && !fs::exists(file, ec)) {
      r.code = rSourceFileIsMissed;
      r.reason = "the file does not exist";
      Queue(std::move(taken));
      return;
    }
    if (r.type.empty()) {
      report_.skipped.push_back(file);
      Progressed();
      return;
    }
    taken->relative = SourcesFolder(r.type) + "/" + file_name;
    // A copy whose name an earlier file's copy still in the queue takes waits for that one's
    // record (which may remove it); so does every file whose handler is not the host's own.
    const bool ahead = MakesAhead(r.type);
    if (!ahead || names_.count(taken->relative) != 0) RecordAll();
    try {
      taken->copy.emplace(steps_.Plan(r.type, file));
    } catch (const std::exception&) {
      taken->plan_failed = true;  // RegisterEx answers rUnexpectedRegistrationError
    }
    taken->fresh = Fresh(*taken);
    names_.insert(taken->relative);
    if (taken->copy && ahead && taken->copy->makes_anywhere()) {
      // Journaled and handed over with the next files, in one write.
      if (taken->fresh) unjournaled_.push_back(taken->relative);
      taken->to_hand = true;
      unhanded_.push_back(taken.get());
      Queue(std::move(taken));
      if (unhanded_.size() >= kHandBatch) HandOver();
      return;
    }
    HandOver();
    if (taken->fresh) journal_.RecordCopy(taken->relative);
    if (taken->copy) taken->copy->Make();
    Queue(std::move(taken));
  }

  // Journals the copies waiting to be handed over, then hands them to the copying threads.
  void HandOver() {
    if (unhanded_.empty()) return;
    journal_.RecordCopies(unjournaled_);
    unjournaled_.clear();
    for (Taken* taken : unhanded_) {
      taken->ticket = pool_.Hand(*taken->copy);
      taken->to_hand = false;
    }
    unhanded_.clear();
  }

  // Nothing stands at the copy's name: the copy made there is this run's own.
  bool Fresh(const Taken& taken) const {
    if (taken.copy && taken.copy->relative_path() == taken.relative) return taken.copy->fresh();
    std::error_code ec;
    return !fs::exists(fs::symlink_status(CopyPath(taken.relative), ec));
  }

  // The host's own handlers look at nothing but the object: the copies of the next files may
  // be made before they answer. Any other handler may touch anything, so its files go one by one.
  bool MakesAhead(const std::string& type) {
    if (!pool_.has_threads()) return false;
    auto found = own_handlers_.find(type);
    if (found == own_handlers_.end()) {
      const std::string handler =
          workspace_->workspace_repository()->SchemaObjectType(type)->RegistrationHandler();
      const bool own = handler == kExtensionHandlerClass || handler == kAcceptHandlerClass ||
                       handler == kMissingHandlerClass;
      found = own_handlers_.emplace(type, own).first;
    }
    return found->second;
  }

  void Queue(std::unique_ptr<Taken> taken) {
    queue_.push_back(std::move(taken));
    while (queue_.size() > kMostAhead) RecordFirst();
  }

  // Records the files at the front whose copies are made, without waiting for the others.
  void RecordMade() {
    while (!queue_.empty() && !queue_.front()->to_hand &&
           (!queue_.front()->ticket || pool_.Made(*queue_.front()->ticket))) {
      RecordFirst();
    }
  }

  // Records every file taken, waiting for their copies.
  void RecordAll() {
    while (!queue_.empty()) RecordFirst();
  }

  void RecordFirst() {
    if (queue_.front()->to_hand) HandOver();
    std::unique_ptr<Taken> taken = std::move(queue_.front());
    queue_.pop_front();
    if (taken->ticket) pool_.Wait(*taken->ticket);
    names_.erase(taken->relative);
    record_failed_ = true;  // until the record is whole
    RecordFile(*taken);
    record_failed_ = false;
    Progressed();
  }

  // A batch is committed with no copy under way: the journal then forgets only copies whose
  // objects are committed.
  void CommitIfDue() {
    if (!batch_->Due()) return;
    RecordAll();
    Commit(false);
  }

  // The walk, or the record of a file, failed: what was taken before is recorded (up to a file
  // whose record failed, after which nothing is), kept and reported.
  void FinishAfter() {
    try {
      if (!record_failed_) RecordAll();
    } catch (const Error&) {
      // The error that ended the run is the one reported.
    }
    Abandon();
    try {
      Commit(true);
    } catch (const CommitFailed&) {
    }
  }

  void Progressed() {
    if (progress_) progress_(++done_, total_);
  }

  // Drops what was taken and never recorded (the run stopped early): copies not yet begun are
  // never made, and those made are removed, as their journal lines allow.
  void Abandon() {
    pool_.Stop();
    unhanded_.clear();
    unjournaled_.clear();
    queue_.clear();
  }

  void RecordFile(Taken& taken) {
    FileResult& r = taken.result;
    if (r.code == rSourceFileIsMissed && !taken.copy && !taken.plan_failed) {
      pending_.push_back({std::move(r), ""});
      return;
    }
    const std::string& relative = taken.relative;
    const std::string copy = CopyPath(relative);
    const bool fresh = taken.fresh;
    const std::size_t logged = workspace_->repository_log()->Written().size();
    // A file registered where it lies is its own copy: verbatim. How the copy was made is
    // recorded with its sources.
    const bool in_place = !fresh && SameFile(r.file, copy);
    r.code = Record(taken, in_place ? CopyRecipe{} : RecipeFor(r.type));
    if (r.code == rOK) {
      r.outcome = FileOutcome::kRegistered;
      r.id = service_.RegisteredObjectId();
      if (holders_loaded_) holders_[relative] = ObjectInfo{r.id, r.type, r.name, relative, r.file};
      pending_.push_back({std::move(r), fresh ? relative : ""});
      return;
    }
    if (fresh && CopyMayBeLeft(r.code)) RemoveCopy(copy);
    Explain(r, relative, logged);
    pending_.push_back({std::move(r), ""});
  }

  // The record step, answering what RegisterEx answers: it never raises.
  int Record(Taken& taken, const CopyRecipe& recipe) {
    if (taken.plan_failed) return rUnexpectedRegistrationError;
    try {
      return steps_.Record(*taken.copy, taken.result.name,
                           {{std::string(kCopyRecipeAttribute), recipe.Text()}});
    } catch (const std::exception&) {
      return rUnexpectedRegistrationError;
    }
  }

  std::string CopyPath(const std::string& relative) const {
    return workspace_->root() + "/" + relative;
  }

  // Only a plain file is removed: the copy the registration wrote.
  static void RemoveCopy(const std::string& copy) {
    struct stat info {};
    if (::lstat(copy.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(copy.c_str());
  }

  // Where the type's copies go, relative to the root: read from the options once per run.
  const std::string& SourcesFolder(const std::string& type) {
    auto found = folders_.find(type);
    if (found == folders_.end()) {
      found = folders_.emplace(type, workspace_->SourcesDirectoryOf(type)).first;
    }
    return found->second;
  }

  const CopyRecipe& RecipeFor(const std::string& type) {
    auto found = recipes_.find(type);
    if (found == recipes_.end()) {
      found = recipes_.emplace(type, CopyRecipe::Current(*workspace_, type, request_.with_encoding))
                  .first;
    }
    return found->second;
  }

  void Explain(FileResult& r, const std::string& relative, std::size_t logged) {
    r.outcome = FileOutcome::kFailed;
    switch (r.code) {
      case rNoRefreshNeeded:
        r.outcome = FileOutcome::kRefused;
        r.reason = RefusalReason(r);
        return;
      case rSourceFileIsMissed:
        r.reason = "the file does not exist";
        return;
      case rErrorOnCreateSourceDirectory:
        r.reason = fmt::format("cannot create the Sources folder '{}'", SourcesFolder(r.type));
        return;
      case rFileAllreadyExists:
        ExplainTakenCopy(r, relative);
        return;
      case rObjectAllreadyExists:
        ExplainTakenName(r, relative);
        return;
      case rErrorOnSetSourceAttr:
        r.reason = fmt::format("the copy's path '{}' has 255 characters or more", relative);
        return;
      case rErrorOnSetOriginalSourceAttr:
        r.reason = "the file's path has 255 characters or more";
        return;
      default:
        break;
    }
    const auto& written = workspace_->repository_log()->Written();
    if (written.size() > logged) {
      r.reason = written.back().text;
      return;
    }
    // The library ends a registration whose repository step failed (the object's attributes
    // not written, a lost connection) without a record: the log says it here.
    r.reason =
        "a repository step failed (the object could not be read or written); the copy made "
        "for it was removed";
    try {
      workspace_->repository_log()->Add(
          "Register", host::kSeverityError, std::nullopt,
          fmt::format("'{}' was not registered: {}", r.file, r.reason));
    } catch (const Error&) {
      // A repository that refused the attributes may refuse the record too; the report says it.
    }
  }

  std::string RefusalReason(const FileResult& r) {
    std::string handler =
        workspace_->workspace_repository()->SchemaObjectType(r.type)->RegistrationHandler();
    if (handler == kExtensionHandlerClass) {
      std::string extension = ExtensionTypes::ExtensionOf(r.file);
      return fmt::format("refused by the registration handler of {}: {} lists no extension {}",
                         r.type, r.type, extension.empty() ? "(none)" : extension);
    }
    if (!ClassRegistry::Instance().Contains(handler)) {
      return fmt::format("refused: the registration handler '{}' of {} does not exist", handler,
                         r.type);
    }
    return fmt::format("refused by the registration handler '{}' of {}", handler, r.type);
  }

  // The copy's name is taken: by this very file registered before, by another original's copy,
  // or by a file that no object records.
  void ExplainTakenCopy(FileResult& r, const std::string& relative) {
    const ObjectInfo* holder = Holder(relative);
    if (holder == nullptr) {
      r.reason = fmt::format("'{}' is taken by a file that no object records", relative);
      return;
    }
    r.id = holder->id;
    if (SameFile(holder->original, r.file)) {
      AlreadyRegistered(r, relative);
      return;
    }
    r.outcome = FileOutcome::kNameTaken;
    r.original = holder->original;
    r.reason = fmt::format("'{}' is the copy of {} ({}), registered from {}", relative, holder->id,
                           holder->name, holder->original);
  }

  void ExplainTakenName(FileResult& r, const std::string& relative) {
    std::string name = r.name;
    std::shared_ptr<host::RepositoryObject> holder;
    try {
      holder = workspace_->workspace_repository()->FindObject(r.type, name, "");
    } catch (const Error&) {
    }
    if (!holder) {
      r.reason = fmt::format("an object named '{}' is registered already", r.name);
      return;
    }
    r.id = holder->Id();
    std::string original = holder->GetAttribute(std::string(kOriginalSourceAttribute));
    std::string source =
        RecordedRelative(holder->GetAttribute(holder->ObjectType()->SourceAttribute()));
    if (source == relative && SameFile(original, r.file)) {
      AlreadyRegistered(r, relative);
      return;
    }
    r.outcome = FileOutcome::kNameTaken;
    r.original = original;
    r.reason =
        fmt::format("the object name '{}' is held by {}, registered from {}", name, r.id, original);
  }

  // Registered before from this file: unchanged when its copy is what the file gives now, made
  // the way the copy was made.
  void AlreadyRegistered(FileResult& r, const std::string& relative) {
    bool normalised = request_.with_encoding;
    try {
      if (auto recipe = RecordedRecipe(*workspace_->workspace_repository()->ObjectById(r.id))) {
        normalised = recipe->normalised;
      }
      std::optional<std::string> now;
      if (normalised) {
        std::vector<std::uint8_t> bytes = service_.ReadSource(workspace_, r.type, r.file);
        now.emplace(bytes.begin(), bytes.end());
      } else {
        now = ReadOriginal(r.file);
      }
      if (now && now == ReadBeneath(workspace_->root(), relative)) {
        r.outcome = FileOutcome::kUnchanged;
        r.reason = "already registered";
        return;
      }
    } catch (const Error&) {
      // A file that cannot be read now counts as changed: a refresh says what is wrong.
    }
    r.outcome = FileOutcome::kChanged;
    r.reason = "already registered; the original changed since: refresh it";
  }

  const ObjectInfo* Holder(const std::string& relative) {
    if (!holders_loaded_) LoadHolders();
    auto found = holders_.find(relative);
    if (found == holders_.end() && !holders_reloaded_) {
      holders_reloaded_ = true;  // another run may have registered it meanwhile
      LoadHolders();
      found = holders_.find(relative);
    }
    return found == holders_.end() ? nullptr : &found->second;
  }

  void LoadHolders() {
    holders_.clear();
    for (ObjectInfo& object : workspace_->workspace_repository()->ListObjects()) {
      if (!object.source.empty()) holders_[RecordedRelative(object.source)] = std::move(object);
    }
    holders_loaded_ = true;
  }

  // Commits when the batch's window has passed (always when `last`): then the results of the
  // batch are kept and reported, and their copies are no longer the journal's to undo.
  void Commit(bool last) {
    try {
      if (last) {
        batch_->End();
      } else if (!batch_->Checkpoint()) {
        return;
      }
    } catch (const Error& e) {
      LoseBatch(e);
      throw CommitFailed{};
    }
    for (Pending& p : pending_) Keep(std::move(p.result));
    pending_.clear();
    journal_.CopiesCommitted();
    holders_loaded_ = holders_reloaded_ = false;
  }

  // A batch whose commit failed was not kept: the copies this run wrote for it go, its files
  // are reported as failed, and the log says why (when it still can).
  void LoseBatch(const Error& failure) {
    report_.error = failure;
    for (Pending& p : pending_) {
      FileResult& r = p.result;
      if (!p.copy.empty()) RemoveCopy(CopyPath(p.copy));
      if (r.code == rOK) {
        r.code = rUnexpectedRegistrationError;
        r.outcome = FileOutcome::kFailed;
        r.id.clear();
        r.reason = "not kept: " + failure.description();
      }
      Keep(std::move(r));
    }
    try {
      workspace_->repository_log()->Add(
          "Register", host::kSeverityError, std::nullopt,
          fmt::format("{} file{} not registered: {}", pending_.size(),
                      pending_.size() == 1 ? " was" : "s were", failure.description()));
    } catch (const Error&) {
      // The repository that failed to commit may refuse the record too; the report says why.
    }
    pending_.clear();
  }

  // A result whose fate is settled: counted, and handed to the sink or kept in the report.
  void Keep(FileResult&& result) {
    ++report_.outcome_counts[static_cast<std::size_t>(result.outcome)];
    ++report_.tried;
    if (sink_) {
      sink_(result);
    } else {
      report_.results.push_back(std::move(result));
    }
  }

  struct Pending {
    FileResult result;
    /// The copy this run wrote where no file was, relative to the root; "" otherwise.
    std::string copy;
  };

  RegistrationRun::ResultSink sink_;
  std::shared_ptr<WorkspaceHost> workspace_;
  const RegistrationRequest& request_;
  std::string type_;
  ExtensionTypes extensions_;
  PendingWork journal_;
  SVStandard service_;
  RegistrationSteps steps_;
  Batch* batch_ = nullptr;
  RegistrationRun::Progress progress_;
  long total_ = 0;
  long done_ = 0;
  // Files taken and not yet recorded, in walk order, and their copies' names; at most
  // kMostAhead, so that the run's memory does not grow with the number of files.
  static constexpr std::size_t kMostAhead = 64;
  static_assert(kMostAhead < CopyPool::kCapacity,
                "a ticket is waited for before its slot is reused");
  std::deque<std::unique_ptr<Taken>> queue_;
  std::unordered_set<std::string> names_;
  // Copies taken and not yet handed over (nor journaled, when fresh): handed kHandBatch at a
  // time, so that their journal lines take one write.
  static constexpr std::size_t kHandBatch = 16;
  std::vector<Taken*> unhanded_;
  std::vector<std::string> unjournaled_;
  std::map<std::string, bool> own_handlers_;
  bool record_failed_ = false;
  // Declared after the queue: its threads stop before the copies they make go.
  CopyPool pool_;
  std::vector<Pending> pending_;
  RegistrationReport report_;
  std::map<std::string, CopyRecipe> recipes_;
  std::map<std::string, std::string> folders_;
  std::map<std::string, ObjectInfo> holders_;
  bool holders_loaded_ = false;
  bool holders_reloaded_ = false;
};

}  // namespace

const char* OutcomeName(FileOutcome outcome) noexcept {
  switch (outcome) {
    case FileOutcome::kRegistered:
      return "registered";
    case FileOutcome::kUnchanged:
      return "unchanged";
    case FileOutcome::kChanged:
      return "changed";
    case FileOutcome::kNameTaken:
      return "name_taken";
    case FileOutcome::kRefused:
      return "refused";
    case FileOutcome::kFailed:
      break;
  }
  return "failed";
}

bool IsSuccess(FileOutcome outcome) noexcept {
  return outcome == FileOutcome::kRegistered || outcome == FileOutcome::kUnchanged ||
         outcome == FileOutcome::kChanged;
}

bool RegistrationReport::AnyFailed() const {
  for (std::size_t outcome = 0; outcome < outcome_counts.size(); ++outcome) {
    if (outcome_counts[outcome] != 0 && !IsSuccess(static_cast<FileOutcome>(outcome))) return true;
  }
  return false;
}

RegistrationRun::RegistrationRun(std::shared_ptr<WorkspaceHost> workspace)
    : workspace_(std::move(workspace)) {}

RegistrationReport RegistrationRun::Run(const RegistrationRequest& request) {
  RecoverInterruptedWork(workspace_);
  std::vector<std::string> paths;
  for (const std::string& path : request.paths) {
    paths.push_back(fs::absolute(path).lexically_normal().string());
  }
  std::error_code ec;
  if (!request.name.empty() && (paths.size() != 1 || fs::is_directory(paths[0], ec))) {
    throw Error(
        error_number::kInvalidProcedureCall, kSource,
        fmt::format("the object name '{}' is for one file: {} given", request.name,
                    paths.size() == 1 ? "a folder" : std::to_string(paths.size()) + " paths"));
  }
  std::string type = request.type.empty() ? "" : workspace_->KnownType(request.type);
  return Runner(workspace_, request, type, sink_).Run(paths, progress_);
}

}  // namespace svregistration::workspace
