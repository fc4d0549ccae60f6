// register, status and refresh: the host's registration and refresh runs and its status, with
// reports as svreg prints them. The runs work without the GIL; progress goes to the script's
// callback, and an exception from it (or Ctrl-C) stops the run after the current file, keeping
// what was done, and is then raised.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>

#include "interface.h"
#include "svregistration/results.h"
#include "svregistration/workspace/copy_status.h"
#include "svregistration/workspace/refresh_run.h"
#include "svregistration/workspace/registration_run.h"
#include "workspace.h"

namespace svreg_python {

namespace {

namespace ws = svregistration::workspace;

/// One path (str or path-like) or a sequence of them.
std::vector<std::string> Paths(const py::object& given) {
  py::object fspath = py::module_::import("os").attr("fspath");
  if (py::isinstance<py::str>(given) || py::hasattr(given, "__fspath__")) {
    return {fspath(given).cast<std::string>()};
  }
  std::vector<std::string> paths;
  for (py::handle path : given) paths.push_back(fspath(path).cast<std::string>());
  return paths;
}

/// The run's progress: the script's callback, and the stop when it (or Ctrl-C) raised.
std::function<void(long, long)> Progress(PythonInterface& ui) {
  return [&ui](long done, long total) {
    ui.Report(done, total);
    if (ui.failed()) {
      throw svregistration::Error(svregistration::error_number::kInvalidProcedureCall,
                                  "svregistration", "stopped by the progress callback");
    }
  };
}

py::object Register(Workspace& workspace, const py::object& paths,
                    const std::optional<std::string>& type, bool encoding,
                    const std::optional<std::string>& name, py::object progress) {
  ws::RegistrationRequest request{Paths(paths), type.value_or(""), name.value_or(""), encoding};
  LibraryCall call(py::none(), std::move(progress));
  ws::RegistrationReport report = call.Run([&] {
    std::lock_guard lock(workspace.lock);
    ws::RegistrationRun run(HostOf(workspace));
    run.SetProgress(Progress(call.interface()));
    return OwnBatches(workspace, [&] { return run.Run(request); });
  });
  std::optional<svregistration::Error> failure = std::move(report.error);
  report.error.reset();
  py::object registration = py::cast(std::move(report));
  registration.attr("type") = request.type;  // the summary names it
  if (failure) {
    py::object error = ErrorObject(*failure);
    error.attr("registration") = registration;
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
    throw py::error_already_set();
  }
  return registration;
}

ws::RefreshReport Refresh(Workspace& workspace, const std::string& id, bool force,
                          const std::optional<std::filesystem::path>& source, py::object progress) {
  // OriginalSource is recorded as given: a relative path would mean nothing from elsewhere.
  ws::RefreshRequest request{
      id, source ? std::filesystem::absolute(*source).lexically_normal().string() : "", force};
  LibraryCall call(py::none(), std::move(progress));
  return call.Run([&] {
    std::lock_guard lock(workspace.lock);
    ws::RefreshRun run(HostOf(workspace));
    run.SetProgress(Progress(call.interface()));
    return OwnBatches(workspace, [&] { return run.Run(request); });
  });
}

std::vector<ws::CopyStatus> Status(Workspace& workspace, const py::object& ids) {
  std::vector<std::string> wanted = Ids(ids);
  py::gil_scoped_release release;
  std::lock_guard lock(workspace.lock);
  return ws::WorkspaceStatus(HostOf(workspace), wanted);
}

void BindReports(py::module_& module) {
  py::class_<ws::FileResult>(module, "FileResult", "What one file's registration came to.")
      .def_readonly("file", &ws::FileResult::file)
      .def_readonly("type", &ws::FileResult::type)
      .def_readonly("name", &ws::FileResult::name)
      .def_readonly("code", &ws::FileResult::code, "the registration's Result")
      .def_property_readonly(
          "result", [](const ws::FileResult& r) { return svregistration::ResultName(r.code); })
      .def_property_readonly("outcome",
                             [](const ws::FileResult& r) { return ws::OutcomeName(r.outcome); })
      .def_readonly("id", &ws::FileResult::id)
      .def_readonly("original", &ws::FileResult::original)
      .def_readonly("reason", &ws::FileResult::reason)
      .def("__bool__", [](const ws::FileResult& r) { return ws::IsSuccess(r.outcome); })
      .def("__repr__", [](const ws::FileResult& r) {
        return "<FileResult " + std::string(ws::OutcomeName(r.outcome)) + " " + r.file + ">";
      });
  py::class_<ws::RegistrationReport>(module, "Registration",
                                     "One result per file tried, and the files skipped.",
                                     py::dynamic_attr())
      .def_readonly("results", &ws::RegistrationReport::results)
      .def_readonly("skipped", &ws::RegistrationReport::skipped)
      .def("__len__", [](const ws::RegistrationReport& r) { return r.results.size(); })
      .def("__getitem__",
           [](const ws::RegistrationReport& r, py::ssize_t i) {
             const auto size = static_cast<py::ssize_t>(r.results.size());
             if (i < -size || i >= size) throw py::index_error();
             return r.results[static_cast<std::size_t>(i < 0 ? i + size : i)];
           })
      .def(
          "__iter__",
          [](const ws::RegistrationReport& r) {
            return py::make_iterator(r.results.begin(), r.results.end());
          },
          py::keep_alive<0, 1>())
      .def("__bool__", [](const ws::RegistrationReport& r) { return !r.AnyFailed(); });
  py::class_<ws::ObjectRefresh>(module, "ObjectRefresh", "What the refresh of one object came to.")
      .def_readonly("id", &ws::ObjectRefresh::id)
      .def_readonly("name", &ws::ObjectRefresh::name)
      .def_readonly("original", &ws::ObjectRefresh::original)
      .def_readonly("code", &ws::ObjectRefresh::code)
      .def_property_readonly(
          "outcome", [](const ws::ObjectRefresh& r) { return ws::RefreshOutcomeName(r.outcome); })
      .def_readonly("reason", &ws::ObjectRefresh::reason);
  py::class_<ws::RefreshReport>(module, "Refreshed", "What a refresh came to.")
      .def_readonly("result", &ws::RefreshReport::result,
                    "Result.OK combined with the results of the objects refreshed")
      .def_readonly("copied", &ws::RefreshReport::copied)
      .def_readonly("objects", &ws::RefreshReport::objects)
      .def_readonly("stopped", &ws::RefreshReport::stopped);
  py::class_<ws::CopyStatus>(module, "CopyStatus", "The state of a registered copy.")
      .def_readonly("id", &ws::CopyStatus::id)
      .def_readonly("name", &ws::CopyStatus::name)
      .def_readonly("type", &ws::CopyStatus::type)
      .def_readonly("source", &ws::CopyStatus::source)
      .def_readonly("original", &ws::CopyStatus::original)
      .def_property_readonly("state",
                             [](const ws::CopyStatus& s) { return ws::CopyStateName(s.state); })
      .def_readonly("detail", &ws::CopyStatus::detail)
      .def("__repr__", [](const ws::CopyStatus& s) {
        return "<CopyStatus " + std::string(ws::CopyStateName(s.state)) + " " + s.source + ">";
      });
}

}  // namespace

void BindRuns(py::module_& module, py::class_<Workspace>& workspace) {
  BindReports(module);
  workspace
      .def("register", &Register, py::arg("paths"), py::arg("type") = py::none(),
           py::arg("encoding") = false, py::arg("name") = py::none(),
           py::arg("progress") = py::none(),
           "Registers files and folders (walked recursively in name order) as svreg register "
           "does: each file's type is the one whose extension list holds its extension, or "
           "`type`; `encoding` normalises the copies as the options say; `name` names the "
           "object of a single file. Answers a Registration; an error that ends the run early is "
           "raised with what was kept as its `registration`.")
      .def("refresh", &Refresh, py::arg("id"), py::arg("force") = false,
           py::arg("source") = py::none(), py::arg("progress") = py::none(),
           "Brings an object's registered copy, or every member of a folder, up to date with its "
           "original; a copy that would now be made differently is left alone unless `force`. "
           "`source` records another original.")
      .def("status", &Status, py::arg("ids") = py::none(),
           "The state of every registered copy (or of the objects named) against its original, "
           "without changing anything; with no ids also the untracked files of the Sources "
           "folders.");
}

}  // namespace svreg_python
