// The library's user interface and an archive's password prompt for a call from Python: the
// password question and the progress of long runs go to the script's callbacks, messages become
// Python warnings, and nothing ever waits on the terminal (every question of the interface is
// answered empty: cancel). The library runs with the GIL released; each callback takes it back
// for its own call.
#pragma once

#include <memory>
#include <optional>

#include "bindings.h"
#include "svregistration/error.h"
#include "svregistration/extraction_report.h"
#include "svregistration/user_interface.h"

namespace svreg_python {

class PythonInterface final : public svregistration::UserInterface,
                              public svregistration::PasswordPrompt {
 public:
  /// `password(request) -> str | None` and `progress(done, total)`; None for either leaves it out.
  PythonInterface(py::object password, py::object progress)
      : password_(std::move(password)), progress_(std::move(progress)) {}

  void ShowMessage(const std::string& title, const std::string& text) override;
  std::string AskText(const std::string&, const std::string&, bool) override { return ""; }
  std::string BrowseForFolder(std::intptr_t, const std::string&) override { return ""; }
  void ProcessPendingEvents() override;
  std::string Ask(const svregistration::PasswordRequest& request) override;
  /// The library's own progress reports only let Ctrl-C through; the runs report by Report.
  void ReportProgress(const std::string&, long, long) override { ProcessPendingEvents(); }
  /// Calls the script's progress callback.
  void Report(long done, long total);

  /// Whether a callback raised (or Ctrl-C was pressed): long runs stop at their next step.
  bool failed() const { return failure_.has_value(); }
  /// Raises what a callback raised, once the library has returned.
  void RaiseFailure();

 private:
  /// Calls into Python with the GIL held; an exception is kept, never thrown into the library.
  template <class Call>
  void Guarded(Call&& call);

  py::object password_;
  py::object progress_;
  std::optional<py::error_already_set> failure_;
};

/// A PythonInterface for one call, handed to the library objects the call uses; releases the GIL
/// for the library's work, and at its end raises what the callbacks raised.
class LibraryCall {
 public:
  explicit LibraryCall(py::object password = py::none(), py::object progress = py::none());
  ~LibraryCall();
  LibraryCall(const LibraryCall&) = delete;
  LibraryCall& operator=(const LibraryCall&) = delete;

  PythonInterface& interface() { return *interface_; }
  /// Runs `work` without the GIL, then raises what a callback raised, if one did: also in place
  /// of the library's error when the callback's exception stopped the work.
  template <class Work>
  auto Run(Work&& work) {
    try {
      auto result = [&] {
        py::gil_scoped_release release;
        return work();
      }();
      interface_->RaiseFailure();
      return result;
    } catch (const svregistration::Error&) {
      interface_->RaiseFailure();
      throw;
    }
  }

 private:
  std::shared_ptr<PythonInterface> interface_;
};

}  // namespace svreg_python
