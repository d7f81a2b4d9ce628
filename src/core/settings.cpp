#include "core/settings.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>

#include "core/control_characters.h"
#include "core/host/host_api.h"

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
  if (HasControlCharacter(key)) {
    throw std::invalid_argument("[config] ApiKey holds a control character, which no HTTP header can carry");
  }
  return key;
}

// An interval in seconds, converted as every integer setting; the host has no use for one of 0 or
// less.
int ReadInterval(const nlohmann::json& document, const char* key, int current) {
  const int value = ReadIntSetting(document, key, current);
  if (value <= 0) {
    throw std::out_of_range("[config] " + std::string(key) + ": " + std::to_string(value) +
                            " is not a positive number of seconds");
  }
  return value;
}

// A whole-number setting: a fraction is refused rather than cut toward zero.
int ReadWholeSetting(const nlohmann::json& document, const char* key, int current) {
  if (document.is_object()) {
    const auto it = document.find(key);
    if (it != document.end() && it->is_number_float()) {
      const double number = it->get<double>();
      if (std::isfinite(number) && std::trunc(number) != number) {
        throw std::invalid_argument("[config] " + std::string(key) + ": " + NumberText(number) +
                                    " is not a whole number");
      }
    }
  }
  return ReadIntSetting(document, key, current);
}

// A whole-number setting that must lie within [0, most].
int ReadBoundedSetting(const nlohmann::json& document, const char* key, int current, int most) {
  const int value = ReadWholeSetting(document, key, current);
  if (value < 0 || value > most) {
    throw std::out_of_range("[config] " + std::string(key) + ": " + std::to_string(value) +
                            " is outside 0 to " + std::to_string(most));
  }
  return value;
}

PluginSettings& SettingsInUse() {
  static auto* const settings = new PluginSettings();  // never destroyed: see core/guard.cpp
  return *settings;
}

}  // namespace

const PluginSettings& Settings() { return SettingsInUse(); }

void ResetSettings() { SettingsInUse() = PluginSettings{}; }

nlohmann::json ParseConfig(std::istream& text) {
  return nlohmann::json::parse(text, /*cb=*/nullptr, /*allow_exceptions=*/true, /*ignore_comments=*/true);
}

void ReadSettings(const nlohmann::json& document, PluginSettings& settings) {
  settings.BridgeUrl = document.value("BridgeUrl", settings.BridgeUrl);
  settings.ApiKey = ReadApiKey(document, settings.ApiKey);
  settings.MapId = document.value("MapId", settings.MapId);
  settings.SyncIntervalSeconds = ReadInterval(document, "SyncIntervalSeconds", settings.SyncIntervalSeconds);
  settings.OutboundPollSeconds = ReadInterval(document, "OutboundPollSeconds", settings.OutboundPollSeconds);
  settings.RelayGlobalChat = document.value("RelayGlobalChat", settings.RelayGlobalChat);
  settings.RelayTribeChat = document.value("RelayTribeChat", settings.RelayTribeChat);
  settings.RelayAllianceChat = document.value("RelayAllianceChat", settings.RelayAllianceChat);
  settings.Debug = document.value("Debug", settings.Debug);
  settings.OutboundWaitSeconds = ReadBoundedSetting(
      document, "OutboundWaitSeconds", settings.OutboundWaitSeconds, kLongestOutboundWaitSeconds);
  settings.OutageBufferLines =
      ReadBoundedSetting(document, "OutageBufferLines", settings.OutageBufferLines, kMostOutageBufferLines);

  while (!settings.BridgeUrl.empty() && settings.BridgeUrl.back() == '/') settings.BridgeUrl.pop_back();
}

void LoadConfig() {
  const std::string path = host::CurrentDir() + kConfigPath;
  std::ifstream file(path);
  if (!file.is_open()) throw std::runtime_error("Could not open " + path);
  const nlohmann::json document = ParseConfig(file);
  file.close();
  ApplyConfig(document);
}

void ApplyConfig(const nlohmann::json& document) { ReadSettings(document, SettingsInUse()); }

}  // namespace palaverlink
