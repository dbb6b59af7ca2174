// The storage-refusal countdown, so that tests reach the MemoryError paths.
#include "binding.hpp"

namespace surfkit_python {

void bind_testing(py::module_& m) {
  py::module_ t = m.def_submodule(
      "storage_testing", "Deterministic refusal of storage, for tests of the MemoryError paths.");
  t.def("refuse_nth_request", &orvo::storage_testing::refuse_nth_request, py::arg("n"),
        "Refuse the n-th storage request made from now on by this thread (0 disarms).");
  t.def("refusal_pending", &orvo::storage_testing::refusal_pending,
        "True while an armed refusal has not fired yet.");
}

}  // namespace surfkit_python
