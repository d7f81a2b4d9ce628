// Builds without libcurl have the manual environment only.
#include <stdexcept>

#include "devhost/environment.h"

namespace devhost {

std::unique_ptr<Environment> MakeRealEnvironment(std::chrono::milliseconds /*timeout*/) {
  throw std::runtime_error("this build of devhost has no HTTP transport (built without libcurl)");
}

}  // namespace devhost
