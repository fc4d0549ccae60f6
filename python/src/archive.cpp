// Extraction of zip and RAR archives for Python: the password callback is asked through the
// extraction's prompt, and the extraction's report comes back, with an archive that is missing or
// of another kind raised as an error.
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

constexpr int kInvalidFileFormat = 321;

template <class Archive>
ExtractionReport Extract(const char* kind, const Path& archive, const Path& output,
                         const std::string& member, py::object password) {
  LibraryCall call(std::move(password));
  ExtractionReport report = call.Run([&] {
    return Archive().Extract(archive.string(), output.string(), member, call.interface());
  });
  if (report.archive == ExtractionReport::Archive::kMissing) {
    throw svregistration::Error(svregistration::error_number::kFileNotFound, "svregistration",
                                "no such archive: " + archive.string());
  }
  if (report.archive == ExtractionReport::Archive::kNotReadable) {
    throw svregistration::Error(kInvalidFileFormat, "svregistration",
                                std::string("not a ") + kind + " archive: " + archive.string());
  }
  return report;
}

}  // namespace

void BindArchives(py::module_& module) {
  py::class_<svregistration::PasswordRequest>(module, "PasswordRequest",
                                              "What a password callback is asked.")
      .def_readonly("archive", &svregistration::PasswordRequest::archive)
      .def_readonly("member", &svregistration::PasswordRequest::member,
                    "the member that needs it; \"\" for the member names of the archive")
      .def_readonly("last_was_wrong", &svregistration::PasswordRequest::last_was_wrong);
  py::class_<ExtractionReport>(module, "Extraction", "What an extraction came to.")
      .def_readonly("ok", &ExtractionReport::result, "what the library answers")
      .def_property_readonly(
          "not_extracted",
          [](const ExtractionReport& r) {
            std::vector<std::pair<std::string, std::string>> members;
            for (const auto& m : r.not_extracted) members.emplace_back(m.name, m.reason);
            return members;
          },
          "(member, reason) of every member selected but not written, in archive order")
      .def_readonly("unread_headers", &ExtractionReport::unread_headers,
                    "why the walk over the members stopped early; \"\" when it did not")
      .def_readonly("extracted", &ExtractionReport::extracted)
      .def_readonly("selected", &ExtractionReport::selected)
      .def("__bool__",
           [](const ExtractionReport& r) {
             return r.result && r.not_extracted.empty() && r.unread_headers.empty();
           })
      .def("__repr__", [](const ExtractionReport& r) {
        return "<Extraction " + std::to_string(r.extracted) + " of " + std::to_string(r.selected) +
               " extracted>";
      });
  const char* doc =
      "Extracts the members that `member` selects (all when empty) into `output`. `password` "
      "is called with a PasswordRequest and answers with the password (None or \"\" refuses). "
      "Raises Error 53 for a missing archive, 321 for a file that is no such archive. The GIL "
      "is released while it extracts.";
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
