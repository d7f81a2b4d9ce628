#include "botcheck/options.h"

#include <charconv>

namespace botcheck {
namespace {

// Any id reaches the bot intact (the query is percent-encoded); only control characters, which would
// break the report's lines, are refused.
bool IsMapIdText(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  bool have_url = false;
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    std::string name = arguments[index];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (!name.starts_with("--")) {
      if (have_url) return {std::nullopt, "more than one URL: " + name};
      options.url = name;
      have_url = true;
      continue;
    }
    std::string value;
    if (const std::size_t equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    } else if (name == "--api-key" || name == "--map-id" || name == "--timeout") {
      if (index + 1 == arguments.size()) return {std::nullopt, name + " needs a value"};
      value = arguments[++index];
    }
    if (name == "--api-key") {
      options.api_key = value;
    } else if (name == "--map-id") {
      if (!IsMapIdText(value)) return {std::nullopt, "--map-id needs a text without control characters"};
      options.map_id = value;
    } else if (name == "--timeout") {
      int seconds = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (error != std::errc() || end != value.data() + value.size() || seconds < 1 || seconds > 600) {
        return {std::nullopt, "--timeout needs whole seconds from 1 to 600, not '" + value + "'"};
      }
      options.timeout_seconds = seconds;
    } else {
      return {std::nullopt, "unknown option " + name};
    }
  }
  if (options.help) return {options, {}};
  if (!have_url) return {std::nullopt, "the bot's URL is missing"};
  if (!options.url.starts_with("http://") && !options.url.starts_with("https://")) {
    return {std::nullopt, "the URL must begin with http:// or https://, as BridgeUrl does"};
  }
  while (!options.url.empty() && options.url.back() == '/') options.url.pop_back();
  return {options, {}};
}

std::string UsageText() {
  return "usage: palaverlink-botcheck URL [--api-key KEY] [--map-id ID] [--timeout SECONDS]\n"
         "  URL              the bot's address, as BridgeUrl in the plug-in's config.json\n"
         "  --api-key KEY    the key the plug-in would send (ApiKey); also checks that the bot refuses "
         "others\n"
         "  --map-id ID      the map to post and poll as (default palaverlink-botcheck); its lines from a\n"
         "                   second map go as ID-neighbour\n"
         "  --timeout S      give up on an answer after S seconds (default 10)\n"
         "Sends every request the plug-in sends, then prints each check once: 'ok', 'FAIL' (what was\n"
         "wrong - what the plug-in would do), 'warning' or 'not checked' (why), and a count. It posts\n"
         "real chat lines and player lists: point it at a bot that is not in service.\n"
         "Exit status:\n"
         "  0  every check ok (warnings allowed)\n"
         "  1  a check failed\n"
         "  2  the command line could not be read\n"
         "  3  incomplete: nothing failed, but a check could not be made (the bot is not shown to be right)\n"
         "  4  stopped: nothing answers at URL, the bot wants a key and --api-key was not given, or it "
         "refuses "
         "the key given\n";
}

}  // namespace botcheck
