#include "orvo/surfkit/frame.hpp"
#include "orvo/surfkit_version.hpp"

namespace orvo::surfkit {

const char* version() {
  return SURFKIT_VERSION;
}

}  // namespace orvo::surfkit
