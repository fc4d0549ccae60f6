// Extraction of zip and RAR archives for Python: the password prompt goes to the script's
// callback, and what the extraction did not do comes back as a report instead of a bare bool.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "bindings.h"
#include "interface.h"
#include "svregistration/error.h"
#include "svregistration/extraction_report.h"
#include "svregistration/rar.h"
#include "svregistration/zip.h"

namespace svreg_python {

namespace {

using svregistration::ExtractionReport;
using Path = std::filesystem::path;

/// What one extraction came to: `ok` as the library answers it, and the members selected but
/// not written, each with its reason.
struct Extraction {
  bool ok = false;
  std::vector<std::pair<std::string, std::string>> not_extracted;
};

constexpr int kInvalidFileFormat = 321;

template <class Archive>
Extraction Extract(const char* kind, const Path& archive, const Path& output,
                   const std::string& member, py::object password) {
  LibraryCall call(std::move(password));
  Extraction result;
  const ExtractionReport report = call.Run([&] {
    result.ok = Archive().Extract(archive.string(), output.string(), member);
    return svregistration::LastExtractionReport();
  });
  if (report.archive == ExtractionReport::Archive::kMissing) {
    throw svregistration::Error(svregistration::error_number::kFileNotFound, "svregistration",
                                "no such archive: " + archive.string());
  }
  if (report.archive == ExtractionReport::Archive::kNotReadable) {
    throw svregistration::Error(kInvalidFileFormat, "svregistration",
                                std::string("not a ") + kind + " archive: " + archive.string());
  }
  for (const auto& m : report.not_extracted) result.not_extracted.emplace_back(m.name, m.reason);
  return result;
}

}  // namespace

void BindArchives(py::module_& module) {
  py::class_<Extraction>(module, "Extraction", "What an extraction came to.")
      .def_readonly("ok", &Extraction::ok, "False when the library reports failure")
      .def_readonly("not_extracted", &Extraction::not_extracted,
                    "(member, reason) of every member selected but not written, in archive order")
      .def("__bool__", [](const Extraction& e) { return e.ok && e.not_extracted.empty(); })
      .def("__repr__", [](const Extraction& e) {
        return "<Extraction ok=" + std::string(e.ok ? "True" : "False") +
               " not_extracted=" + std::to_string(e.not_extracted.size()) + ">";
      });
  const char* doc =
      "Extracts the members that `member` selects (all when empty) into `output`. `password` "
      "is called with the prompt and answers with the password (None or \"\" cancels). Raises "
      "Error 53 for a missing archive, 321 for a file that is no such archive. The GIL is "
      "released while it extracts.";
  module.def(
      "extract_zip",
      [](const Path& archive, const Path& output, const std::string& member, py::object password) {
        return Extract<svregistration::ZIP>("zip", archive, output, member, std::move(password));
      },
      py::arg("archive"), py::arg("output"), py::arg("member") = "",
      py::arg("password") = py::none(), doc);
  module.def(
      "extract_rar",
      [](const Path& archive, const Path& output, const std::string& member, py::object password) {
        return Extract<svregistration::RAR>("RAR", archive, output, member, std::move(password));
      },
      py::arg("archive"), py::arg("output"), py::arg("member") = "",
      py::arg("password") = py::none(), doc);
}

}  // namespace svreg_python
