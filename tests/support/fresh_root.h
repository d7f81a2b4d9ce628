// A new, empty server directory under the system's temporary folder, unique per process and call.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace palaverlink::testing {

inline std::filesystem::path FreshTestRoot(const std::string& prefix) {
  static int counter = 0;
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() /
      (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  return root;
}

}  // namespace palaverlink::testing
