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
  // Long poll: how long the bot may hold a poll that finds nothing (0: off).
  int OutboundWaitSeconds = 0;
  // Chat lines and leave notices kept while the bot is away, sent after the reconnection (0: off).
  int OutageBufferLines = 0;
};

// A held poll ends well inside a host's request time-out (10 s on the development host).
inline constexpr int kLongestOutboundWaitSeconds = 5;
// Some hundred bytes a line: the fullest buffer holds a few MiB.
inline constexpr int kMostOutageBufferLines = 10000;

// The settings in use: the defaults until LoadConfig has read the file; read-only from then on.
const PluginSettings& Settings();
// Back to the defaults.
void ResetSettings();

// <current dir>/ArkApi/Plugins/Palaverlink/config.json into Settings(); throws a std::exception
// whose message says what is wrong.
void LoadConfig();

// The keys of a configuration document into Settings(), as LoadConfig reads the file's (see
// ReadSettings); a test that drives the modules directly configures them so.
void ApplyConfig(const nlohmann::json& document);

// The whole stream as one JSON document: comments skipped, a UTF-8 byte-order mark accepted,
// nothing but white space and comments after the value. Throws the JSON library's parse error.
nlohmann::json ParseConfig(std::istream& text);

// Reads the keys of `document` into `settings` in their fixed order, each stored before the next is
// read, so a failing key leaves the earlier ones read and the later ones untouched; then drops the
// trailing '/' characters of BridgeUrl. Throws the JSON library's type errors; std::out_of_range
// for an integer setting whose number does not fit 32 bits, for an interval of 0 or less (after the
// conversion that cuts 2.9 to 2) and for OutboundWaitSeconds or OutageBufferLines outside their
// bounds; std::invalid_argument for a fraction in those two, and for an ApiKey with a control
// character (the message never quotes the key). Each message of the plug-in's own names the key.
void ReadSettings(const nlohmann::json& document, PluginSettings& settings);

}  // namespace palaverlink
