// The refresh run: each object refreshed by itself, so that its outcome and its own log records
// are known, and members whose copy would now be made differently left alone unless forced.
#include "svregistration/workspace/refresh_run.h"

#include <fmt/core.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <unordered_map>

#include "svregistration/error.h"
#include "svregistration/results.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/copy_recipe.h"
#include "svregistration/workspace/copy_status.h"
#include "svregistration/workspace/pending_work.h"
#include "svregistration/workspace/workspace_host.h"
#include "workspace/file_threads.h"
#include "workspace/recorded_paths.h"
#include "workspace/repository/schema.h"
#include "workspace/status_ahead.h"

namespace svregistration::workspace {

namespace {

namespace fs = std::filesystem;

std::vector<std::shared_ptr<host::RepositoryObject>> ObjectsOf(
    const std::shared_ptr<host::RepositoryObject>& object) {
  if (object->ObjectType()->TypeCode() != kFolderTypeCode) return {object};
  std::vector<std::shared_ptr<host::RepositoryObject>> members;
  auto cursor = object->Members();
  for (; cursor && !cursor->Eof(); cursor->MoveNext()) members.push_back(cursor->Item());
  return members;
}

class Refresher {
 public:
  Refresher(const std::shared_ptr<WorkspaceHost>& workspace, const RefreshRequest& request)
      : workspace_(workspace), request_(request) {
    if (!request.source.empty()) source_ = fs::absolute(request.source).lexically_normal();
  }

  /// Refreshes one object; false when the run must stop. `ahead`, when the copy was compared
  /// ahead of the run, is what was found.
  bool Refresh(host::RepositoryObject& object, RefreshReport& report, const CopyStatus* ahead) {
    ObjectRefresh entry;
    entry.id = object.Id();
    auto type = object.ObjectType();
    const bool has_copy = !type->SourceAttribute().empty();
    // Read when the object was held (see Hold).
    entry.name = object.Name();
    entry.original =
        source_.empty() ? object.GetAttribute(std::string(kOriginalSourceAttribute)) : source_;
    std::string recorded = has_copy ? object.GetAttribute(kCopyRecipeAttribute) : std::string();
    if (has_copy && UpToDate(object, *type, entry, ahead)) {
      // What the library's refresh answers for a copy that is what its original gives now.
      report.result |= rOK;
      entry.outcome = RefreshOutcome::kUnchanged;
      if (NowText(type->TypeCode()) != recorded) RecordRecipe(object, Now(type->TypeCode()));
      report.objects.push_back(std::move(entry));
      return true;
    }
    if (!request_.force && has_copy && Refuse(object, type->TypeCode(), recorded, entry)) {
      report.objects.push_back(std::move(entry));
      return true;
    }
    const std::size_t logged = workspace_->repository_log()->Written().size();
    long copied = 0;
    int result = service_.RefreshSource(workspace_, entry.id, copied, source_);
    report.result |= result;
    report.copied += copied;
    entry.code = copied != 0 ? rOK : result & ~rOK;
    const auto& written = workspace_->repository_log()->Written();
    for (std::size_t i = logged; i < written.size(); ++i) {
      entry.reason += (entry.reason.empty() ? "" : "; ") + written[i].text;
    }
    if (entry.reason.empty()) {
      entry.outcome = copied != 0 ? RefreshOutcome::kCopied : RefreshOutcome::kUnchanged;
      // The copy is what the options make of its original now.
      if (has_copy && NowText(type->TypeCode()) != recorded) {
        RecordRecipe(object, Now(type->TypeCode()));
      }
    }
    report.objects.push_back(std::move(entry));
    return (result & rUnexpectedRegistrationError) == 0;
  }

 private:
  // True when the copy was found up to date ahead of the run, and the object, as held now,
  // still names that copy and that original. A recorded path that is not plain ("\\", ".",
  // "..", "//" or a leading "/") is left to the library's own reading of it.
  static bool UpToDate(host::RepositoryObject& object, host::ObjectType& type,
                       const ObjectRefresh& entry, const CopyStatus* ahead) {
    if (ahead == nullptr || ahead->state != CopyState::kUpToDate || ahead->id != entry.id ||
        ahead->original != entry.original) {
      return false;
    }
    const std::string copy = object.GetAttribute(type.SourceAttribute());
    return copy == ahead->source && copy.find('\\') == std::string::npos && PlainRelative(copy);
  }

  // True when the object's copy would now be made differently from how it was made (`recorded`,
  // the recipe's text) and its copy is not what its original gives now.
  bool Refuse(host::RepositoryObject& object, const std::string& type, const std::string& recorded,
              ObjectRefresh& entry) {
    if (recorded == NowText(type)) return false;  // made as it would be now
    auto was = CopyRecipe::Parse(recorded);
    if (!was) return false;
    const CopyRecipe& now = Now(type);
    if (RecipeChanges(*was, now).empty()) return false;
    CopyStatus status = StatusOf(workspace_, object, source_, &now);
    if (status.state != CopyState::kSettingsChanged) return false;
    entry.outcome = RefreshOutcome::kSettingsChanged;
    entry.reason = "its copy would now be made differently (" + status.detail +
                   "); a forced refresh rewrites it";
    return true;
  }

  // The normalised recipe of a type and its text, read once per run (the options do not change
  // under it).
  const std::pair<CopyRecipe, std::string>& Recipe(const std::string& type) {
    auto found = recipes_.find(type);
    if (found == recipes_.end()) {
      CopyRecipe now = CopyRecipe::Current(*workspace_, type, true);
      std::string text = now.Text();
      found = recipes_.emplace(type, std::pair(std::move(now), std::move(text))).first;
    }
    return found->second;
  }
  const CopyRecipe& Now(const std::string& type) { return Recipe(type).first; }
  const std::string& NowText(const std::string& type) { return Recipe(type).second; }

  std::shared_ptr<WorkspaceHost> workspace_;
  const RefreshRequest& request_;
  std::string source_;
  SVStandard service_;
  std::map<std::string, std::pair<CopyRecipe, std::string>> recipes_;
};

// The copies of the objects compared ahead of a run from each object's own original, on helper
// threads while the run works through the objects in order. Only up to the first object that
// records no copy (or is a folder): the library's refresh of such an object may register it
// afresh and store a default source folder in the options, which the comparisons read.
std::unique_ptr<StatusAhead> CompareAhead(
    const std::shared_ptr<WorkspaceHost>& workspace,
    const std::vector<std::shared_ptr<host::RepositoryObject>>& objects,
    const RefreshRequest& request) {
  if (!request.source.empty() || objects.size() < 2) return nullptr;
  host::IdCollection ids;
  ids.reserve(objects.size());
  for (const auto& object : objects) ids.push_back(object->Id());
  std::unordered_map<std::string, ObjectInfo> listed;
  for (ObjectInfo& info : workspace->workspace_repository()->ListObjects(ids)) {
    listed.emplace(info.id, std::move(info));
  }
  std::vector<CopyStatus> named(ids.size());
  std::size_t limit = ids.size();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    named[i].id = ids[i];
    auto info = listed.find(ids[i]);
    if (info == listed.end() || info->second.source.empty()) {
      limit = std::min(limit, i);
      continue;
    }
    named[i].name = info->second.name;
    named[i].type = info->second.type;
    named[i].source = RecordedRelative(info->second.source);
    named[i].original = info->second.original;
  }
  return std::make_unique<StatusAhead>(workspace, std::move(named), HelperThreadsForFiles(), limit);
}

}  // namespace

std::vector<bool> RefreshRun::Hold(const Objects& objects, std::size_t first) {
  // Enough members that the statements of a hold are shared out thinly, few enough that those
  // held past a commit and held again are few.
  constexpr std::size_t kHoldAhead = 64;
  const std::size_t end = std::min(objects.size(), first + kHoldAhead);
  WorkspaceRepository& repository = *workspace_->workspace_repository();
  auto type = objects[first]->ObjectType();
  if (type->TypeCode() == kFolderTypeCode) {
    try {
      repository.HoldObjects(host::IdCollection{objects[first]->Id()});  // with its members
      return {true};
    } catch (const Error& e) {
      if (e.number() != error_number::kSubscriptOutOfRange) throw;
      return {false};
    }
  }
  // What the run and the library's refresh read of an object is read with the hold: its
  // original, its recipe and its copy, for the objects of the first one's type (the objects
  // of a folder are mostly of one type); an object of a folder type is held by itself.
  host::IdCollection ids;
  for (std::size_t i = first; i < end; ++i) {
    if (i > first && objects[i]->ObjectType()->TypeCode() == kFolderTypeCode) break;
    ids.push_back(objects[i]->Id());
  }
  std::vector<std::string> attributes{std::string(kOriginalSourceAttribute),
                                      std::string(kCopyRecipeAttribute)};
  std::string source = type->SourceAttribute();
  if (!source.empty()) attributes.push_back(std::move(source));
  return repository.HoldObjects(ids, attributes);
}

const char* RefreshOutcomeName(RefreshOutcome outcome) noexcept {
  switch (outcome) {
    case RefreshOutcome::kCopied:
      return "copied";
    case RefreshOutcome::kUnchanged:
      return "unchanged";
    case RefreshOutcome::kSettingsChanged:
      return "settings_changed";
    case RefreshOutcome::kFailed:
      break;
  }
  return "failed";
}

RefreshRun::RefreshRun(std::shared_ptr<WorkspaceHost> workspace)
    : workspace_(std::move(workspace)) {}

RefreshReport RefreshRun::Run(const RefreshRequest& request) {
  RecoverInterruptedWork(workspace_);
  auto objects = ObjectsOf(workspace_->KnownObject(request.id));
  RefreshReport report;
  Refresher refresher(workspace_, request);
  std::unique_ptr<StatusAhead> ahead = CompareAhead(workspace_, objects, request);
  // A copy rewritten by a run killed before its invalidation was committed has its generated
  // files discarded by the next run (see PendingWork).
  PendingWork journal(workspace_->root());
  journal.RecordRefresh(request.id);
  {
    // Committed between objects only: each object is held from its refresh to the commit, so
    // that an unregistration beside it waits rather than lose the copy it is rewriting.
    Batch batch(*workspace_, true);
    long done = 0;
    std::vector<bool> held;  // for the objects from held_from on
    std::size_t held_from = 0;
    for (std::size_t i = 0; i < objects.size(); ++i) {
      // Held again after a commit, or once a change has made the last hold's reads stale (its
      // locks last until the commit all the same).
      if (i >= held_from + held.size() || !workspace_->workspace_repository()->Holding()) {
        held = Hold(objects, i);
        held_from = i;
      }
      if (!held[i - held_from]) {
        ObjectRefresh gone;
        gone.id = objects[i]->Id();
        gone.reason = "unregistered by another run meanwhile";
        report.objects.push_back(std::move(gone));
        continue;
      }
      // Taken out of the comparisons, so that what they found is freed member by member.
      const std::optional<CopyStatus> found =
          ahead ? std::optional(std::move(ahead->At(i))) : std::nullopt;
      bool go_on = refresher.Refresh(*objects[i], report, found ? &*found : nullptr);
      if (progress_) progress_(++done, static_cast<long>(objects.size()));
      if (!go_on) {
        report.stopped = true;
        break;
      }
      if (batch.Checkpoint()) held.clear();
    }
    batch.End();
  }
  journal.Finished();
  return report;
}

}  // namespace svregistration::workspace
