#include "options.h"

namespace devserver {

const char* const kUsage =
    "usage: palaverlink-devserver [--root DIR] [--plugin FILE] [--script FILE] [--pretty]\n"
    "  --root DIR     the server directory (default: the current directory)\n"
    "  --plugin FILE  the plug-in to copy into DIR/ArkApi/Plugins/Palaverlink/ and load\n"
    "                 (default: the Palaverlink library built next to this program)\n"
    "  --script FILE  read commands from FILE instead of standard input\n"
    "  --pretty       print readable text instead of JSON lines\n";

ParsedOptions ParseOptions(const std::vector<std::string>& arguments,
                           const std::filesystem::path& default_plugin) {
  Options options;
  options.plugin = default_plugin;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    auto value = [&](std::string& error) -> std::optional<std::string> {
      if (i + 1 >= arguments.size()) {
        error = argument + " needs a value";
        return std::nullopt;
      }
      return arguments[++i];
    };
    std::string error;
    if (argument == "--pretty") {
      options.pretty = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--root" || argument == "--plugin" || argument == "--script") {
      auto given = value(error);
      if (!given) return {std::nullopt, error};
      if (argument == "--root") options.root = *given;
      if (argument == "--plugin") options.plugin = *given;
      if (argument == "--script") options.script = *given;
    } else {
      return {std::nullopt, "unknown argument '" + argument + "'"};
    }
  }
  return {options, {}};
}

}  // namespace devserver
