#include "orvo/surfkit.hpp"

namespace orvo::surfkit {

const char* version() {
  return "4.8.0.0";
}

}  // namespace orvo::surfkit
