// The plug-in's settings, read once at start-up from its configuration file.
#pragma once

#include <nlohmann/json.hpp>

#include <istream>
#include <string>

namespace palaverlink {

struct PluginSettings {
  friend bool operator==(const PluginSettings&, const PluginSettings&) = default;

  std::string BridgeUrl = "http://127.0.0.1:8765";
  std::string ApiKey;
  std::string MapId;
  int SyncIntervalSeconds = 60;
  int OutboundPollSeconds = 3;
  bool RelayGlobalChat = true;
  bool RelayTribeChat = false;
  bool RelayAllianceChat = false;
  bool Debug = false;
};

PluginSettings& Settings();

// The parsed configuration file; null until LoadConfig has read it.
nlohmann::json& ConfigDocument();

// <current dir>/ArkApi/Plugins/Palaverlink/config.json into ConfigDocument and Settings(); throws a
// std::exception whose message says what is wrong.
void LoadConfig();

// The whole stream as one JSON document: comments skipped, a UTF-8 byte-order mark accepted,
// nothing but white space and comments after the value. Throws the JSON library's parse error.
nlohmann::json ParseConfig(std::istream& text);

// Reads the nine keys of `document` into `settings` in their fixed order, each stored before the
// next is read, so a failing key leaves the earlier ones read and the later ones untouched; then
// drops the trailing '/' characters of BridgeUrl. Throws the JSON library's type errors, and
// std::out_of_range for a floating-point integer setting that does not fit 32 bits.
void ReadSettings(const nlohmann::json& document, PluginSettings& settings);

}  // namespace palaverlink
