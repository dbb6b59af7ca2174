// Library codes as Python exceptions.
#include <string>

#include "binding.hpp"

namespace surfkit_python {

std::string signature::name(int k) const {
  if (k >= 1 && static_cast<std::size_t>(k) <= names.size() && names[k - 1] != nullptr)
    return names[k - 1];
  return "argument " + std::to_string(k);
}

void raise_argument_error(const signature& sig, int k, const std::string& detail) {
  const std::string parameter = sig.name(k);
  std::string message =
      std::string(sig.function) + ": " + parameter + " rejected (code " + std::to_string(-k) + ")";
  if (!detail.empty()) message += ": " + detail;
  // The exception class lives in the pure-Python part so that it can be caught and
  // documented like any other; it carries the code and the parameter name.
  py::object cls = py::module_::import("surfkit._errors").attr("ArgumentError");
  py::object error = cls(message, -k, parameter);
  PyErr_SetObject(cls.ptr(), error.ptr());
  throw py::error_already_set();
}

int check_code(const signature& sig, int code) {
  if (code == -199) {
    PyErr_SetString(PyExc_MemoryError,
                    (std::string(sig.function) + ": storage was refused").c_str());
    throw py::error_already_set();
  }
  if (code < 0) raise_argument_error(sig, -code, "");
  return code;
}

}  // namespace surfkit_python
