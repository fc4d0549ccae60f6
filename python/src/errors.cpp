// svregistration.Error: the library's Error as a Python exception with the same number, source
// and description, so that a script can test the number as a caller of the library does.
#include "bindings.h"
#include "svregistration/error.h"

namespace svreg_python {

void BindErrors(py::module_& module) {
  // Lives as long as the module: the translator refers to it.
  static py::exception<svregistration::Error> error(module, "Error", PyExc_RuntimeError);
  error.attr("__module__") = "svregistration";
  error.doc() =
      "An error of the library: `number` (as the library numbers its errors), `source` (what "
      "raised it) and `description`; str() of it is the description.";
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const svregistration::Error& e) {
      py::object instance = py::handle(error.ptr())(e.description());
      instance.attr("number") = e.number();
      instance.attr("source") = e.source();
      instance.attr("description") = e.description();
      PyErr_SetObject(error.ptr(), instance.ptr());
    }
  });
}

}  // namespace svreg_python
