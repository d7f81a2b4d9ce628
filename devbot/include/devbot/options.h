// The command line of palaverlink-devbot: [--listen HOST:PORT] [--api-key KEY].
#pragma once

#include <string>
#include <vector>

#include "devbot/shape_check.h"

namespace devbot {

struct Options {
  std::string host = "127.0.0.1";
  int port = 8765;  // 0: any free port, reported once listening
  std::string api_key;
  bool help = false;
};

// `arguments` without the program name.
Parsed<Options> ParseOptions(const std::vector<std::string>& arguments);

std::string UsageText();

}  // namespace devbot
