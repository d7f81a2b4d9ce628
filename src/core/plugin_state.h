// Every piece of the plug-in's process-wide state, in one record. The host runs all the plug-in's
// code one call at a time on the game thread, so nothing here has a lock. The modules reach their
// parts through their own accessors (Settings(), LinkState(), SessionStarts(), ...), which point
// into this record; ResetPluginState puts all of it back to the values it has when the library is
// loaded.
#pragma once

#include <spdlog/logger.h>
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/settings.h"
#include "game/game_records.h"
#include "game/game_types.h"

namespace palaverlink {

// The game's own chat handler and logout, as the hook slots receive them.
using ServerSendChatMessageFn = void (*)(AShooterPlayerController* controller, GameString* message,
                                         int send_mode);
using LogoutFn = void (*)(AShooterGameMode* game_mode, AController* exiting);

// Whether the bot is reachable: set by a lost link, cleared by a successful health probe.
struct LinkStateData {
  bool bridgeDown = false;
};

// A chat line or leave notice kept while the bot was away.
struct KeptPost {
  std::uint64_t sequence = 0;  // the order in which the posts were made
  std::string path;
  std::string body;
};

// The outage buffer: the kept posts, oldest first, whether one of them is on its way, and what the
// line after the reconnection reports.
struct OutageBufferData {
  std::deque<KeptPost> posts;
  std::uint64_t nextSequence = 0;
  bool sending = false;
  std::size_t sent = 0;
  std::size_t dropped = 0;
};

using NameSet = std::set<std::string, std::less<>>;

struct PluginState {
  // Configuration: the settings (defaults until the file is read) and the parsed file.
  PluginSettings settings;
  nlohmann::json configDocument;

  // The plug-in's logger; until the channel is opened, one that writes nowhere.
  std::shared_ptr<spdlog::logger> logger = std::make_shared<spdlog::logger>("Palaverlink");

  // The link to the bot, and the requests whose last answer was a refusal (one warning per run).
  LinkStateData link;
  NameSet refusedRequests;
  OutageBufferData outageBuffer;

  // Platform id -> session start (milliseconds since 1970-01-01 00:00 UTC).
  std::unordered_map<std::uint64_t, std::int64_t> sessionStarts;

  // Raw map names that gave no usable id and were reported already.
  std::set<std::string> unusableMapNames;

  // Entries from the host whose last run failed (their next failure stays quiet), and the names
  // of the guards running right now, outermost first.
  NameSet failingEntries;
  std::vector<std::string_view> runningEntries;

  // The game's own functions behind the two hooks, written by the host on installation.
  ServerSendChatMessageFn gameChatHandler = nullptr;
  LogoutFn gameLogoutHandler = nullptr;
};

PluginState& State();

// Everything back to its load-time value: Plugin_Init starts from here, and so can a test.
void ResetPluginState();

}  // namespace palaverlink
