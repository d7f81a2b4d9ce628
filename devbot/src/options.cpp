#include "devbot/options.h"

#include <charconv>

namespace devbot {
namespace {

// HOST:PORT, with an IPv6 host in brackets ([::1]:8765).
bool ParseListen(const std::string& text, Options& options) {
  std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  std::string port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  int number = -1;
  auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (host.empty() || port.empty() || error != std::errc() || end != port.data() + port.size() ||
      number < 0 || number > 65535) {
    return false;
  }
  options.host = host;
  options.port = number;
  return true;
}

}  // namespace

Parsed<Options> ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    std::string name = arguments[index];
    std::string value;
    bool has_value = false;
    if (std::size_t equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name != "--listen" && name != "--api-key") return {std::nullopt, "unknown option " + name};
    if (!has_value) {
      if (index + 1 == arguments.size()) return {std::nullopt, name + " needs a value"};
      value = arguments[++index];
    }
    if (name == "--api-key") {
      options.api_key = value;
    } else if (!ParseListen(value, options)) {
      return {std::nullopt, "--listen needs HOST:PORT with a port from 0 to 65535, not '" + value + "'"};
    }
  }
  return {options, {}};
}

std::string UsageText() {
  return "usage: palaverlink-devbot [--listen HOST:PORT] [--api-key KEY]\n"
         "  --listen HOST:PORT  address to serve on (default 127.0.0.1:8765; port 0 takes a free port)\n"
         "  --api-key KEY       demand \"Authorization: Bearer KEY\" on every /api request\n";
}

}  // namespace devbot
