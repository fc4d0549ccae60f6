// The Python Workspace: a workspace host with the lock that lets one thread at a time use its
// repository, and the batch of an open `with` block.
#pragma once

#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bindings.h"
#include "svregistration/error.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg_python {

struct Workspace {
  explicit Workspace(std::shared_ptr<svregistration::workspace::WorkspaceHost> opened)
      : host(std::move(opened)) {}

  std::shared_ptr<svregistration::workspace::WorkspaceHost> host;
  // Recursive: a progress callback may use the workspace between two files of its run.
  std::recursive_mutex lock;
  std::optional<svregistration::workspace::Batch> batch;  // the `with` block's
};

/// The host; Error 91 once the workspace is closed.
inline const std::shared_ptr<svregistration::workspace::WorkspaceHost>& HostOf(Workspace& ws) {
  if (!ws.host) {
    throw svregistration::Error(svregistration::error_number::kObjectNotSet, "svregistration",
                                "the workspace is closed");
  }
  return ws.host;
}

/// One id, a sequence of them, or None (no ids).
inline std::vector<std::string> Ids(const py::object& given) {
  if (given.is_none()) return {};
  if (py::isinstance<py::str>(given)) return {given.cast<std::string>()};
  return given.cast<std::vector<std::string>>();
}

/// Runs one of the host's runs, which commit in batches of their own: inside a `with` block the
/// block's batch is committed before it and begun again after it. Called under the lock.
template <class Run>
auto OwnBatches(Workspace& ws, Run&& run) {
  struct Again {
    Workspace& ws;
    bool in_block;
    ~Again() {
      if (!in_block || !ws.host) return;
      try {
        ws.batch.emplace(*ws.host, true);
      } catch (const svregistration::Error&) {
        // The block's later changes are then committed one by one.
      }
    }
  } again{ws, ws.batch.has_value()};
  if (ws.batch) {
    ws.batch->End();
    ws.batch.reset();
  }
  return run();
}

/// register, status and refresh with their reports.
void BindRuns(py::module_& module, py::class_<Workspace>& workspace);

}  // namespace svreg_python
