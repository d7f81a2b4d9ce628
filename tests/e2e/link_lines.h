// The plug-in's log lines about its link to the bot, as the end-to-end tests look for them.
#pragma once

#include <string>
#include <vector>

#include "devserver_process.h"

namespace palaverlink::e2e {

inline constexpr char kLostConnection[] = "Palaverlink lost connection (";
inline constexpr char kKeyRejected[] = "Palaverlink: the bot rejected our API key (401) on ";
inline constexpr char kReconnected[] = "Palaverlink reconnected to bot.";
inline constexpr char kDroppedChat[] = "Palaverlink: bridge down - dropped POST /api/chat/inbound";
inline constexpr char kUnparsable[] = "Palaverlink: could not parse outbound response: ";
inline constexpr char kGoingSilent[] = "Going silent - will retry every 30s.";

// The link transitions in the order written: "lost", "key" and "reconnected".
inline std::vector<std::string> LinkTransitions(const DevserverProcess& server) {
  std::vector<std::string> transitions;
  for (const PluginLogLine& line : server.PluginLog()) {
    if (line.text.starts_with(kLostConnection)) transitions.push_back("lost");
    if (line.text.starts_with(kKeyRejected)) transitions.push_back("key");
    if (line.text == kReconnected) transitions.push_back("reconnected");
  }
  return transitions;
}

}  // namespace palaverlink::e2e
