#include "core/settings.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <stdexcept>

#include "core/host/host_api.h"
#include "core/plugin_state.h"

namespace palaverlink {
namespace {

constexpr char kConfigPath[] = "/ArkApi/Plugins/Palaverlink/config.json";

[[noreturn]] void ThrowOutOfRange(const char* key, const std::string& number) {
  throw std::out_of_range("[config] " + std::string(key) + ": " + number +
                          " is outside the 32-bit integer range");
}

template <typename Number>
std::string NumberText(Number number) {
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, number);
  return std::string(text, written.ptr);
}

// The library's value() for an integer setting, except that a number whose whole part does not fit
// 32 bits is refused rather than cut to its low bits.
int ReadIntSetting(const nlohmann::json& document, const char* key, int current) {
  if (document.is_object()) {
    const auto it = document.find(key);
    if (it != document.end() && it->is_number_float()) {
      const double number = it->get<double>();
      if (!(number > -2147483649.0 && number < 2147483648.0)) ThrowOutOfRange(key, NumberText(number));
    } else if (it != document.end() && it->is_number_unsigned()) {
      const auto number = it->get<std::uint64_t>();
      if (number > static_cast<std::uint64_t>(INT32_MAX)) ThrowOutOfRange(key, NumberText(number));
    } else if (it != document.end() && it->is_number_integer()) {
      const auto number = it->get<std::int64_t>();
      if (number < INT32_MIN || number > INT32_MAX) ThrowOutOfRange(key, NumberText(number));
    }
  }
  return document.value(key, current);
}

// A header value cannot carry control characters: a CR or LF would start a second header line.
std::string ReadApiKey(const nlohmann::json& document, const std::string& current) {
  std::string key = document.value("ApiKey", current);
  for (const char c : key) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw std::invalid_argument(
          "[config] ApiKey holds a control character, which no HTTP header can carry");
    }
  }
  return key;
}

}  // namespace

PluginSettings& Settings() { return State().settings; }

nlohmann::json& ConfigDocument() { return State().configDocument; }

nlohmann::json ParseConfig(std::istream& text) {
  return nlohmann::json::parse(text, /*cb=*/nullptr, /*allow_exceptions=*/true, /*ignore_comments=*/true);
}

void ReadSettings(const nlohmann::json& document, PluginSettings& settings) {
  settings.BridgeUrl = document.value("BridgeUrl", settings.BridgeUrl);
  settings.ApiKey = ReadApiKey(document, settings.ApiKey);
  settings.MapId = document.value("MapId", settings.MapId);
  settings.SyncIntervalSeconds =
      ReadIntSetting(document, "SyncIntervalSeconds", settings.SyncIntervalSeconds);
  settings.OutboundPollSeconds =
      ReadIntSetting(document, "OutboundPollSeconds", settings.OutboundPollSeconds);
  settings.RelayGlobalChat = document.value("RelayGlobalChat", settings.RelayGlobalChat);
  settings.RelayTribeChat = document.value("RelayTribeChat", settings.RelayTribeChat);
  settings.RelayAllianceChat = document.value("RelayAllianceChat", settings.RelayAllianceChat);
  settings.Debug = document.value("Debug", settings.Debug);

  while (!settings.BridgeUrl.empty() && settings.BridgeUrl.back() == '/') settings.BridgeUrl.pop_back();
}

void LoadConfig() {
  const std::string path = host::CurrentDir() + kConfigPath;
  std::ifstream file(path);
  if (!file.is_open()) throw std::runtime_error("Could not open " + path);
  ConfigDocument() = ParseConfig(file);
  file.close();
  ReadSettings(ConfigDocument(), Settings());
}

}  // namespace palaverlink
