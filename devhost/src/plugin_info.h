// The framework's description of a plug-in: PluginInfo.json in the plug-in's folder, beside the
// library. The framework prints the name, version and description when the plug-in is loaded, and
// refuses a plug-in that needs a newer framework or a plug-in that is not loaded.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace devhost {

// The framework version that devhost stands in for.
inline constexpr double kFrameworkVersion = 3.6;

struct PluginInfo {
  std::string full_name;
  std::string description;
  double version = 1.0;
  double min_api_version = 0.0;
  std::vector<std::string> dependencies;
};

struct PluginInfoResult {
  PluginInfo info;
  bool found = false;  // false: no file, `info` names the plug-in after its library
  std::string error;   // the file exists but cannot be used
};

// Reads `<folder>/PluginInfo.json` for the library `library_file` in that folder.
PluginInfoResult ReadPluginInfo(const std::filesystem::path& library_file);

// The framework's line for a loaded plug-in: "Loaded plugin NAME V1.0 (DESCRIPTION)".
std::string LoadedLine(const PluginInfo& info);

}  // namespace devhost
