#include "interface.h"

namespace svreg_python {

template <class Call>
void PythonInterface::Guarded(Call&& call) {
  py::gil_scoped_acquire gil;
  if (failure_) return;
  try {
    call();
  } catch (py::error_already_set& e) {
    failure_.emplace(std::move(e));
  }
}

void PythonInterface::ShowMessage(const std::string& title, const std::string& text) {
  Guarded([&] {
    py::module_::import("warnings").attr("warn")(title + ": " + text, py::arg("stacklevel") = 2);
  });
}

std::string PythonInterface::Ask(const svregistration::PasswordRequest& request) {
  std::string answer;
  if (password_.is_none()) return answer;
  Guarded([&] {
    py::object given = password_(request);
    if (!given.is_none()) answer = given.cast<std::string>();
  });
  return answer;
}

// Ctrl-C in the terminal or a notebook's interrupt: the run stops at its next step.
void PythonInterface::ProcessPendingEvents() {
  Guarded([] {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  });
}

void PythonInterface::Report(long done, long total) {
  ProcessPendingEvents();
  if (!progress_.is_none()) Guarded([&] { progress_(done, total); });
}

void PythonInterface::RaiseFailure() {
  if (!failure_) return;
  py::error_already_set failure = std::move(*failure_);
  failure_.reset();
  throw failure;
}

LibraryCall::LibraryCall(py::object password, py::object progress)
    : interface_(std::make_shared<PythonInterface>(std::move(password), std::move(progress))) {}

LibraryCall::~LibraryCall() = default;

}  // namespace svreg_python
