// A registration run: files and folders registered into a workspace as one run, the way the tool
// and any embedder register a whole application. It chooses each file's type by the extension
// lists of the Registration page, commits the repository in batches between files, journals the
// copies it makes so that a killed run is undone by the next, removes the copy of a file whose
// registration was refused or not kept, and explains every file it did not register.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "svregistration/error.h"
#include "svregistration/export.h"

namespace svregistration::workspace {

class WorkspaceHost;

struct RegistrationRequest {
  /// Files and folders; a folder is walked recursively in name order, and a folder reached
  /// twice through links is walked once. Relative paths are taken from the working folder.
  std::vector<std::string> paths;
  /// Empty: each file's type is the one whose extension list holds its extension (letter case
  /// ignored), and a file that no type lists is skipped. Otherwise the files of a folder walk
  /// that this type does not list are skipped, and a file named in `paths` is registered as
  /// this type whatever its extension.
  std::string type;
  /// The object name for one file; empty: the file's name.
  std::string name;
  /// Normalise the copies as the options say (otherwise they are copied byte for byte).
  bool with_encoding = false;
};

/// What one file came to.
enum class FileOutcome {
  kRegistered,
  /// Registered before from the same original, and its copy is what the original gives now.
  kUnchanged,
  /// Registered before from the same original, which has changed since: a refresh updates it.
  kChanged,
  /// The copy's name, or the object's, is held by an object registered from another original.
  kNameTaken,
  /// The type's registration handler refused the file: the copy this run made is removed.
  kRefused,
  /// Any other failure, a registration the run could not keep included.
  kFailed,
};

struct FileResult {
  std::string file;
  std::string type;
  /// The object name, as the repository stores it.
  std::string name;
  /// The registration's result (rOK...).
  int code = 0;
  FileOutcome outcome = FileOutcome::kFailed;
  /// The registered object, the one registered before, or the one holding the name.
  std::string id;
  /// The original of the object holding the name (kNameTaken).
  std::string original;
  /// Why the file was not registered; empty when it was.
  std::string reason;
};

/// "registered", "unchanged", "changed", "name_taken", "refused", "failed".
SVREG_API const char* OutcomeName(FileOutcome outcome) noexcept;
/// True for the outcomes that leave the file registered from its original.
SVREG_API bool IsSuccess(FileOutcome outcome) noexcept;

struct SVREG_API RegistrationReport {
  /// One result per file the run tried, in the order tried; empty when the run handed each
  /// result to its sink instead (RegistrationRun::SetResultSink).
  std::vector<FileResult> results;
  /// How many files came to each outcome (indexed by FileOutcome), and how many were tried.
  std::array<long, 6> outcome_counts{};
  long tried = 0;
  /// The files no type lists (or that the requested type does not), in the order met.
  std::vector<std::string> skipped;
  /// The error that ended the run early: what was registered before it is kept and reported,
  /// a batch that could not be committed is reported as failed.
  std::optional<Error> error;

  /// True when a file failed (skipped and already registered files are no failure).
  bool AnyFailed() const;
};

class SVREG_API RegistrationRun {
 public:
  /// Called after each file with how many are done of how many there are.
  using Progress = std::function<void(long done, long total)>;

  explicit RegistrationRun(std::shared_ptr<WorkspaceHost> workspace);

  /// Counts the files first, so that progress has a total.
  void SetProgress(Progress progress) { progress_ = std::move(progress); }
  /// Called with each file's result once it is kept (its batch committed, or reported lost), in
  /// the order tried; the report then holds the counts only, so that a run of any number of
  /// files takes the same memory.
  using ResultSink = std::function<void(const FileResult&)>;
  void SetResultSink(ResultSink sink) { sink_ = std::move(sink); }

  /// Finishes or undoes what killed runs left, then registers. Raises Error 9 for a type the
  /// workspace lacks and Error 5 for a name given with more than one file or a folder, before
  /// anything is done; every later failure is in the report.
  RegistrationReport Run(const RegistrationRequest& request);

 private:
  std::shared_ptr<WorkspaceHost> workspace_;
  Progress progress_;
  ResultSink sink_;
};

}  // namespace svregistration::workspace
