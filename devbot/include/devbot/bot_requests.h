// The bodies that a plug-in posts to the bot, read and checked. Members are exactly those the
// plug-in sends: a missing, extra or mistyped member is a fault of the sender and is answered 400.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devbot/shape_check.h"

namespace devbot {

// POST /api/chat/inbound
struct ChatInbound {
  std::string channel;
  std::string mapId;
  std::string message;
  std::string platformId;
  std::string playerName;
  std::string tribeName;
};

// One element of the players of POST /api/sessions/sync
struct SessionPlayer {
  std::string platformId;
  std::string playerName;
  std::int64_t sessionStartedAt = 0;
  std::string steamName;
  std::string tribeName;
};

// POST /api/sessions/sync
struct SessionSync {
  std::string mapId;
  std::vector<SessionPlayer> players;
};

// POST /api/sessions/leave
struct SessionLeave {
  std::string mapId;
  std::string platformId;
};

// GET /api/chat/outbound?mapId=..&since=..
struct OutboundQuery {
  std::string mapId;
  std::int64_t since = 0;
  int waitSeconds = 0;  // long poll: how long the answer may wait for a message
};

// A longer wait is cut to this: a client's own time-out lies well below it.
inline constexpr int kLongestWaitSeconds = 30;

// The members as the plug-in sends them.
nlohmann::json ToJson(const ChatInbound& line);
nlohmann::json ToJson(const SessionPlayer& player);

// Decimal digits of an unsigned 64-bit number, without sign or leading zeros ("0" for zero).
bool IsPlatformIdText(std::string_view text);

Parsed<ChatInbound> ParseChatInbound(std::string_view body);
Parsed<SessionSync> ParseSessionSync(std::string_view body);
Parsed<SessionLeave> ParseSessionLeave(std::string_view body);
// `since` and `waitSeconds` may be left out (0); a mapId must be given. waitSeconds is a whole
// number from 0, cut to kLongestWaitSeconds.
Parsed<OutboundQuery> ParseOutboundQuery(const std::string* map_id, const std::string* since,
                                         const std::string* wait_seconds = nullptr);

}  // namespace devbot
