// The lifecycle run: the library's unregistration or invalidation inside a batch, and what it
// left read back afterwards (the objects still recorded, the copies still there, the files the
// log says were not deleted).
#include "svregistration/workspace/lifecycle_run.h"

#include <filesystem>

#include "svregistration/error.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/workspace_host.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

namespace fs = std::filesystem;

/// Runs `change` in the caller's batch, checkpointed after it, or in a batch of its own that is
/// committed only when the change is whole.
template <class Change>
bool InBatch(WorkspaceHost& workspace, Batch* open_batch, Change&& change) {
  if (open_batch != nullptr) {
    const bool done = change();
    open_batch->Checkpoint();
    return done;
  }
  Batch batch(workspace, true);
  const bool done = change();
  batch.End();
  return done;
}

// The registered copy of an object, relative to the workspace folder ("" for none); Error 9 for
// an unknown id.
std::string CopyOf(WorkspaceHost& workspace, const std::string& id) {
  auto object = workspace.KnownObject(id);
  std::string attribute = object->ObjectType()->SourceAttribute();
  return attribute.empty() ? "" : object->GetAttribute(attribute);
}

bool StillRegistered(WorkspaceHost& workspace, const std::string& id) {
  try {
    workspace.workspace_repository()->ObjectById(id);
    return true;
  } catch (const Error& e) {
    if (e.number() != error_number::kSubscriptOutOfRange) throw;
    return false;
  }
}

bool IsFolder(WorkspaceHost& workspace, const std::string& id) {
  return workspace.KnownObject(id)->ObjectType()->TypeCode() == kFolderTypeCode;
}

// Nothing, not even a dangling link, is left where the copy was.
bool Gone(const WorkspaceHost& workspace, const std::string& copy) {
  std::error_code ec;
  return !fs::exists(fs::symlink_status(fs::path(workspace.root()) / copy, ec));
}

// The lines this run's deletions logged for each file or folder that was to go and stays.
std::vector<std::string> NotDeleted(WorkspaceHost& workspace, std::size_t logged_before) {
  std::vector<std::string> kept;
  const auto& written = workspace.repository_log()->Written();
  for (std::size_t i = logged_before; i < written.size(); ++i) {
    if (written[i].text.rfind("Not deleted: ", 0) == 0) kept.push_back(written[i].text);
  }
  return kept;
}

// The last folder of a workspace always stays; any other object was kept by the repository.
KeptReason ReasonFor(WorkspaceHost& workspace, const std::vector<std::string>& kept) {
  if (kept.empty()) return KeptReason::kNone;
  for (const std::string& id : kept) {
    if (!IsFolder(workspace, id)) return KeptReason::kRepository;
  }
  return KeptReason::kLastFolder;
}

// Reads back what the unregistration left and whether it did all that was asked.
void ReadBack(WorkspaceHost& workspace, bool done, UnregistrationReport& report) {
  std::vector<std::string> kept;
  for (ObjectUnregistration& object : report.objects) {
    object.unregistered = !StillRegistered(workspace, object.id);
    object.copy_removed =
        object.unregistered && !object.copy.empty() && Gone(workspace, object.copy);
    if (!object.unregistered) kept.push_back(object.id);
  }
  report.kept_reason = ReasonFor(workspace, kept);
  const bool only_last_folder = kept.size() == 1 && IsFolder(workspace, kept[0]);
  report.ok = done && (kept.empty() || only_last_folder) && report.not_deleted.empty();
}

}  // namespace

std::vector<std::string> UnregistrationReport::Unregistered() const {
  std::vector<std::string> ids;
  for (const ObjectUnregistration& object : objects) {
    if (object.unregistered) ids.push_back(object.id);
  }
  return ids;
}

std::vector<std::string> UnregistrationReport::Kept() const {
  std::vector<std::string> ids;
  for (const ObjectUnregistration& object : objects) {
    if (!object.unregistered) ids.push_back(object.id);
  }
  return ids;
}

std::vector<std::string> UnregistrationReport::RemovedCopies() const {
  std::vector<std::string> copies;
  for (const ObjectUnregistration& object : objects) {
    if (object.copy_removed) copies.push_back(object.copy);
  }
  return copies;
}

std::size_t InvalidationReport::DiscardedEntries() const {
  if (!invalidated) return 0;
  std::size_t entries = 0;
  for (const ObjectInvalidation& object : objects) entries += object.generated_entries;
  return entries;
}

LifecycleRun::LifecycleRun(std::shared_ptr<WorkspaceHost> workspace, Batch* open_batch)
    : workspace_(std::move(workspace)), open_batch_(open_batch) {}

UnregistrationReport LifecycleRun::Unregister(const std::vector<std::string>& ids) {
  if (open_batch_ == nullptr) RecoverInterruptedWork(workspace_);
  UnregistrationReport report;
  for (const std::string& id : ids) report.objects.push_back({id, CopyOf(*workspace_, id)});
  const std::size_t logged = workspace_->repository_log()->Written().size();
  const bool done = InBatch(*workspace_, open_batch_, [&] {
    SVStandard service;
    if (ids.size() == 1) return service.Unregister(workspace_, ids[0]);
    host::IdCollection group = ids;
    return service.GroupUnregister(workspace_, group);
  });
  report.not_deleted = NotDeleted(*workspace_, logged);
  ReadBack(*workspace_, done, report);
  return report;
}

InvalidationReport LifecycleRun::Invalidate(const std::vector<std::string>& ids, bool strong) {
  if (open_batch_ == nullptr) RecoverInterruptedWork(workspace_);
  InvalidationReport report;
  for (const std::string& id : ids) {
    workspace_->KnownObject(id);
    report.objects.push_back({id, workspace_->workspace_repository()->GeneratedEntries(id).size()});
  }
  const std::size_t logged = workspace_->repository_log()->Written().size();
  report.invalidated = InBatch(*workspace_, open_batch_, [&] {
    SVStandard service;
    if (ids.size() != 1) {
      host::IdCollection group = ids;
      return service.GroupStrongInvalidate(workspace_, group);
    }
    return strong ? service.StrongInvalidate(workspace_, ids[0])
                  : service.Invalidate(workspace_, ids[0]);
  });
  report.not_deleted = NotDeleted(*workspace_, logged);
  return report;
}

}  // namespace svregistration::workspace
