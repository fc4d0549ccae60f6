// Recovery after a killed run: the journals of runs that are gone are finished or undone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <set>

#include "svregistration/error.h"
#include "svregistration/sv_standard.h"
#include "svregistration/workspace/pending_work.h"
#include "svregistration/workspace/workspace_host.h"
#include "workspace/beneath.h"
#include "workspace/recorded_paths.h"

namespace svregistration::workspace {

namespace {

std::int64_t ChangedNs(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec;
}

// The object itself, or every member when it is a folder.
std::vector<std::shared_ptr<host::RepositoryObject>> ObjectsOf(host::Repository& repository,
                                                               const std::string& id) {
  std::vector<std::shared_ptr<host::RepositoryObject>> objects;
  auto object = repository.ObjectById(id);
  auto members = object->ObjectType()->TypeCode() == "FOLDER" ? object->Members() : nullptr;
  if (!members) return {object};
  for (; !members->Eof(); members->MoveNext()) objects.push_back(members->Item());
  return objects;
}

}  // namespace

void RecoverInterruptedWork(const std::shared_ptr<WorkspaceHost>& workspace) {
  std::optional<std::set<std::string>> sources;
  PendingWork::Recovery recovery;
  // A copy is recorded as "<folder>/<name>", a "\" in the name part of it; a host that joined
  // with "\" throughout is matched too.
  recovery.recorded = [&](const std::string& relative) {
    if (!sources) {
      sources.emplace();
      for (const std::string& source : workspace->workspace_repository()->RecordedSources()) {
        sources->insert(source);
        sources->insert(RecordedRelative(source));
      }
    }
    return sources->count(relative) != 0;
  };
  recovery.in_sources_folder = [&](const std::string& relative) {
    std::vector<std::string> own = workspace->ProtectedPaths();
    const std::string folder = relative.substr(0, relative.rfind('/') + 1);
    if (folder.empty() || folder.rfind(".svreg/", 0) == 0) return false;
    for (const std::string& path : own) {
      if (path == relative) return false;  // the workspace's own files
    }
    for (const auto& type : workspace->workspace_repository()->ObjectTypes()) {
      if (folder == workspace->SourcesDirectoryOf(type.code) + "/") return true;
    }
    return false;
  };
  recovery.copies_of = [&](const std::string& id) {
    std::vector<std::string> copies;
    std::vector<std::shared_ptr<host::RepositoryObject>> objects;
    try {
      objects = ObjectsOf(*workspace->workspace_repository(), id);
    } catch (const Error&) {
      return copies;  // the object is gone: nothing of it is left
    }
    for (const auto& object : objects) {
      copies.push_back(
          RecordedRelative(object->GetAttribute(object->ObjectType()->SourceAttribute())));
    }
    return copies;
  };
  recovery.invalidate_changed = [&](const std::string& id, std::int64_t since_ns) {
    SVStandard service;
    std::vector<std::shared_ptr<host::RepositoryObject>> objects;
    try {
      objects = ObjectsOf(*workspace->workspace_repository(), id);
    } catch (const Error&) {
      return;  // the object is gone: nothing of it is left to invalidate
    }
    // The recorded copy is data: looked at beneath the workspace, never through a link.
    const Fd root(::open(workspace->root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const auto& object : objects) {
      std::string copy =
          RecordedRelative(object->GetAttribute(object->ObjectType()->SourceAttribute()));
      std::optional<struct stat> info =
          copy.empty() || !root ? std::nullopt : StatBeneath(root.get(), copy);
      if (info && ChangedNs(*info) >= since_ns) service.Invalidate(workspace, object->Id());
    }
  };
  recovery.warn = [&](const std::string& text) {
    workspace->Log()->Add("Recover", host::kSeverityWarning, std::nullopt, text);
  };
  PendingWork::Recover(workspace->root(), recovery);
}

}  // namespace svregistration::workspace
