// palaverlink-devserver [--root DIR] [--plugin FILE] [--script FILE] [--pretty]
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace devserver {

struct Options {
  std::filesystem::path root = ".";
  std::filesystem::path plugin;  // the library built next to the program when not given
  std::optional<std::filesystem::path> script;
  bool pretty = false;
  bool help = false;
};

struct ParsedOptions {
  std::optional<Options> options;
  std::string error;
};

ParsedOptions ParseOptions(const std::vector<std::string>& arguments,
                           const std::filesystem::path& default_plugin);

extern const char* const kUsage;

}  // namespace devserver
