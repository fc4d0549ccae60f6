// The native module's parts, one per concern of the library, each adding its classes to the
// module.
#pragma once

#include <pybind11/pybind11.h>

#include "svregistration/error.h"

namespace svreg_python {

namespace py = pybind11;

/// A new svregistration.Error with the error's number, source and description.
py::object ErrorObject(const svregistration::Error& error);

/// svregistration.Error and the translation of the library's errors into it.
void BindErrors(py::module_& module);
/// CCSID and SOSI.
void BindCodePages(py::module_& module);
/// The extraction of zip and RAR archives.
void BindArchives(py::module_& module);
/// Workspace and what it lists.
void BindWorkspace(py::module_& module);

}  // namespace svreg_python
