// Where the build put the plug-ins made for the host's tests, and how to configure the test plug-in.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace devhost::testing {

inline const std::filesystem::path kTestPlugin = DEVHOST_TEST_PLUGIN_PATH;
inline const std::filesystem::path kHalfPlugin = DEVHOST_HALF_PLUGIN_PATH;

inline void ConfigureTestPlugin(const std::filesystem::path& root, const std::vector<std::string>& options) {
  const auto directory = root / "ArkApi" / "Plugins" / "Palaverlink";
  std::filesystem::create_directories(directory);
  std::ofstream out(directory / "test_plugin.txt", std::ios::trunc);
  for (const std::string& option : options) out << option << "\n";
}

}  // namespace devhost::testing
