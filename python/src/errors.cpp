// svregistration.Error: the library's Error as a Python exception with the same number, source
// and description, so that a script can test the number as a caller of the library does.
#include "bindings.h"
#include "svregistration/error.h"

namespace svreg_python {

namespace {

PyObject* g_error_type = nullptr;  // set once, when the module is imported

}  // namespace

py::object ErrorObject(const svregistration::Error& e) {
  py::object instance = py::handle(g_error_type)(e.description());
  instance.attr("number") = e.number();
  instance.attr("source") = e.source();
  instance.attr("description") = e.description();
  return instance;
}

void BindErrors(py::module_& module) {
  // The module holds the type for as long as the interpreter may raise it.
  g_error_type = PyErr_NewExceptionWithDoc(
      "svregistration.Error",
      "An error of the library: `number` (as the library numbers its errors), `source` (what "
      "raised it) and `description`; str() of it is the description.",
      PyExc_RuntimeError, nullptr);
  if (g_error_type == nullptr) throw py::error_already_set();
  module.add_object("Error", py::reinterpret_steal<py::object>(g_error_type));
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const svregistration::Error& e) {
      PyErr_SetObject(g_error_type, ErrorObject(e).ptr());
    }
  });
}

}  // namespace svreg_python
