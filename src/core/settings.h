// The plug-in's settings, read once at start-up from its configuration file.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace palaverlink {

struct PluginSettings {
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

}  // namespace palaverlink
