// Library codes as Python exceptions.
#include <cstring>
#include <string>

#include "binding.hpp"

namespace surfkit_python {

namespace {

const char* entry(const signature& sig, int k) {
  if (k >= 1 && static_cast<std::size_t>(k) <= sig.entries.size()) return sig.entries[k - 1];
  return nullptr;
}

}  // namespace

std::string signature::name(int k) const {
  const char* e = entry(*this, k);
  if (e == nullptr) return "argument " + std::to_string(k);
  const char* colon = std::strstr(e, ": ");
  return colon ? std::string(e, colon) : std::string(e);
}

std::string signature::requirement(int k) const {
  const char* e = entry(*this, k);
  if (e == nullptr) return "";
  const char* colon = std::strstr(e, ": ");
  return colon ? std::string(colon + 2) : std::string();
}

void raise_argument_error(const signature& sig, int k, const std::string& detail) {
  const std::string parameter = sig.name(k);
  const std::string requirement = sig.requirement(k);
  const std::string reason = !detail.empty()       ? detail
                             : requirement.empty() ? ""
                                                   : "must be " + requirement;
  // "f: node_count 3 is not above ..." when the reason names the parameter itself, else
  // "f: parameter rejected: reason".
  std::string message = std::string(sig.function) + ": ";
  if (reason.compare(0, parameter.size() + 1, parameter + " ") == 0)
    message += reason;
  else
    message += parameter + " rejected" + (reason.empty() ? "" : ": " + reason);
  // The exception class lives in the pure-Python part so that it can be caught and
  // documented like any other; it carries the C++ code and the parameter name.
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
