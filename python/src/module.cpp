// The native part of the Python package svregistration (svregistration/__init__.py is the rest).
#include "bindings.h"

PYBIND11_MODULE(_native, module) {
  module.doc() = "Registration of legacy mainframe sources into a workspace (native part).";
  svreg_python::BindErrors(module);
  svreg_python::BindCodePages(module);
  svreg_python::BindArchives(module);
  svreg_python::BindWorkspace(module);
}
