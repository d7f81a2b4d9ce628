// The command line of palaverlink-botcheck: URL [--api-key KEY] [--map-id ID] [--timeout SECONDS].
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace botcheck {

struct Options {
  std::string url;  // the bot's base address, as BridgeUrl: trailing '/' dropped
  std::string api_key;
  std::string map_id = "palaverlink-botcheck";
  int timeout_seconds = 10;  // the development host's transport gives up after as long
  bool help = false;
};

struct ParsedOptions {
  std::optional<Options> options;
  std::string error;
};

// `arguments` without the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

std::string UsageText();

}  // namespace botcheck
