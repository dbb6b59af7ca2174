// The compiled part of the Python package: surfkit._surfkit.
#include "binding.hpp"

PYBIND11_MODULE(_surfkit, m) {
  m.doc() =
      "Compiled bindings of the surfkit mesh library. Use the package `surfkit`, which "
      "re-exports everything here with the exception classes and element kinds.";
  surfkit_python::bind_frame(m);
  surfkit_python::bind_conversion(m);
  surfkit_python::bind_topology(m);
  surfkit_python::bind_extrusion(m);
  surfkit_python::bind_structured(m);
  surfkit_python::bind_interpolation(m);
  surfkit_python::bind_geometry(m);
  surfkit_python::bind_plumbing(m);
  surfkit_python::bind_locator(m);
  surfkit_python::bind_numbering(m);
  surfkit_python::bind_testing(m);
}
