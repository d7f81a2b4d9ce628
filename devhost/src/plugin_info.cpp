#include "plugin_info.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace devhost {

PluginInfoResult ReadPluginInfo(const std::filesystem::path& library_file) {
  PluginInfoResult result;
  result.info.full_name = library_file.stem().string();
  const auto file = library_file.parent_path() / "PluginInfo.json";
  std::ifstream in(file, std::ios::binary);
  if (!in) return result;
  result.found = true;
  try {
    const nlohmann::json document = nlohmann::json::parse(in);
    result.info.full_name = document.value("FullName", result.info.full_name);
    result.info.description = document.value("Description", std::string());
    result.info.version = document.value("Version", 1.0);
    result.info.min_api_version = document.value("MinApiVersion", 0.0);
    result.info.dependencies = document.value("Dependencies", std::vector<std::string>());
  } catch (const nlohmann::json::exception& error) {
    result.error = fmt::format("{}: {}", file.string(), error.what());
  }
  return result;
}

std::string LoadedLine(const PluginInfo& info) {
  return fmt::format("Loaded plugin {} V{:.1f} ({})", info.full_name, info.version, info.description);
}

}  // namespace devhost
