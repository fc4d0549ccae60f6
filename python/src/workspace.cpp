// Workspace for Python: the reference workspace host, what it lists, and the operations that
// change it. Each change is committed as svreg commits it, in a batch of its own; inside a `with`
// block the changes share one batch, committed between operations when it is due and at the
// block's end (also when the block ends by an exception: what was finished is kept).
//
// The repository serves one thread at a time: every call takes the workspace's lock, always
// after releasing the GIL, so that a thread waiting for the lock never holds up the callbacks of
// the thread that has it.
#include "workspace.h"

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <mutex>

#include "bindings.h"
#include "svregistration/error.h"
#include "svregistration/workspace/batch.h"
#include "svregistration/workspace/lifecycle_run.h"
#include "svregistration/workspace/workspace_host.h"

namespace svreg_python {

namespace {

namespace fs = std::filesystem;
using svregistration::workspace::Batch;
using svregistration::workspace::LifecycleRun;
using svregistration::workspace::LogEntry;
using svregistration::workspace::ObjectInfo;
using svregistration::workspace::ObjectTypeInfo;
using svregistration::workspace::WorkspaceHost;

/// Runs `work` on the workspace without the GIL and under the workspace's lock.
template <class Work>
auto Locked(Workspace& ws, Work&& work) {
  py::gil_scoped_release release;
  std::lock_guard lock(ws.lock);
  return work(*HostOf(ws));
}

/// The host's lifecycle run, in the `with` block's batch when one is open.
LifecycleRun Lifecycle(Workspace& ws) {
  return LifecycleRun(ws.host, ws.batch ? &*ws.batch : nullptr);
}

std::vector<std::string> Unregister(Workspace& ws, const py::object& given) {
  std::vector<std::string> ids = Ids(given);
  return Locked(ws, [&](WorkspaceHost&) { return Lifecycle(ws).Unregister(ids).Kept(); });
}

bool Invalidate(Workspace& ws, const py::object& given, bool strong) {
  std::vector<std::string> ids = Ids(given);
  return Locked(ws,
                [&](WorkspaceHost&) { return Lifecycle(ws).Invalidate(ids, strong).invalidated; });
}

void Enter(Workspace& ws) {
  Locked(ws, [&](WorkspaceHost&) {
    if (ws.batch) {
      throw svregistration::Error(svregistration::error_number::kInvalidProcedureCall,
                                  "svregistration", "the workspace's with block is already open");
    }
    svregistration::workspace::RecoverInterruptedWork(ws.host);
    ws.batch.emplace(*ws.host, true);
  });
}

// An exception leaving the block: what was finished is committed and the block's exception is
// the one raised.
void Exit(Workspace& ws, const py::object& error_type) {
  const bool failed = !error_type.is_none();
  Locked(ws, [&](WorkspaceHost&) {
    struct Reset {
      std::optional<Batch>& batch;
      ~Reset() { batch.reset(); }
    } reset{ws.batch};
    if (ws.batch && !failed) ws.batch->End();
  });
}

void BindListings(py::module_& module) {
  py::class_<ObjectInfo>(module, "ObjectInfo", "An object of the workspace.")
      .def_readonly("id", &ObjectInfo::id)
      .def_readonly("type", &ObjectInfo::type)
      .def_readonly("name", &ObjectInfo::name)
      .def_readonly("source", &ObjectInfo::source, "the registered copy, relative to the root")
      .def_readonly("original", &ObjectInfo::original, "the file it was registered from")
      .def("__repr__", [](const ObjectInfo& o) {
        return "<ObjectInfo " + o.id + " " + o.type + " " + o.name + ">";
      });
  py::class_<ObjectTypeInfo>(module, "ObjectTypeInfo", "An object type of the workspace.")
      .def_readonly("code", &ObjectTypeInfo::code)
      .def_readonly("display_name", &ObjectTypeInfo::display_name)
      .def_readonly("source_attribute", &ObjectTypeInfo::source_attribute)
      .def_readonly("handler", &ObjectTypeInfo::handler)
      .def("__repr__", [](const ObjectTypeInfo& t) { return "<ObjectTypeInfo " + t.code + ">"; });
  py::class_<LogEntry>(module, "LogEntry", "A record of the workspace log.")
      .def_readonly("sequence", &LogEntry::sequence)
      .def_readonly("time", &LogEntry::time, "UTC, ISO 8601 with milliseconds")
      .def_readonly("title", &LogEntry::title)
      .def_readonly("severity", &LogEntry::severity, "0 information, 1 warning, 2 error")
      .def_readonly("object_id", &LogEntry::object_id)
      .def_readonly("text", &LogEntry::text)
      .def("__repr__", [](const LogEntry& r) {
        return "<LogEntry " + std::to_string(r.sequence) + " " + r.title + ": " + r.text + ">";
      });
}

}  // namespace

void BindWorkspace(py::module_& module) {
  BindListings(module);
  py::class_<Workspace> workspace(module, "Workspace",
                                  "A workspace folder with its options, code page tables, "
                                  "registered copies and repository. Use it as a context manager "
                                  "to commit several changes together.");
  workspace
      .def_static(
          "create",
          [](const fs::path& path, const std::optional<std::string>& repository) {
            py::gil_scoped_release release;
            return std::make_unique<Workspace>(
                WorkspaceHost::Create(path.string(), repository.value_or("")));
          },
          py::arg("path"), py::arg("repository") = py::none(),
          "Creates a workspace in `path` (made when missing). `repository`: a PostgreSQL "
          "connection string (without a password); by default the repository is workspace.db.")
      .def_static(
          "open",
          [](const fs::path& path) {
            py::gil_scoped_release release;
            return std::make_unique<Workspace>(WorkspaceHost::Open(path.string()));
          },
          py::arg("path"), "Opens the workspace in `path`.")
      .def_property_readonly(
          "path", [](Workspace& ws) { return fs::path(HostOf(ws)->root()); },
          "The workspace folder.")
      .def(
          "close",
          [](Workspace& ws) {
            py::gil_scoped_release release;
            std::lock_guard lock(ws.lock);
            ws.batch.reset();
            ws.host.reset();
          },
          "Commits what is pending and lets the repository go; later calls raise Error 91.")
      .def(
          "objects",
          [](Workspace& ws, const std::optional<std::string>& type) {
            return Locked(ws, [&](WorkspaceHost& host) {
              return host.workspace_repository()->ListObjects(type);
            });
          },
          py::arg("type") = py::none(), "The objects (of one type), oldest first.")
      .def(
          "types",
          [](Workspace& ws) {
            return Locked(ws, [&](WorkspaceHost& host) {
              return host.workspace_repository()->ObjectTypes();
            });
          },
          "The object types in the order the workspace made them.")
      .def(
          "log",
          [](Workspace& ws) {
            return Locked(ws,
                          [&](WorkspaceHost& host) { return host.repository_log()->Records(); });
          },
          "The workspace log, oldest first.")
      .def("unregister", &Unregister, py::arg("ids"),
           "Unregisters one id or a group and deletes their files; answers the ids that stay "
           "registered (the workspace's last folder stays). Error 9 names an id no object has, "
           "and then nothing is unregistered.")
      .def("invalidate", &Invalidate, py::arg("ids"), py::arg("strong") = false,
           "Deletes what was generated for the objects (a group is always invalidated strongly); "
           "False when it failed. Error 9 names an id no object has, and then nothing is "
           "invalidated.")
      .def(
          "__enter__",
          [](Workspace& ws) -> Workspace& {
            Enter(ws);
            return ws;
          },
          py::return_value_policy::reference)
      .def("__exit__", [](Workspace& ws, const py::object& type, const py::object&,
                          const py::object&) { Exit(ws, type); });
  BindRuns(module, workspace);
}

}  // namespace svreg_python
