#include "devbot/bot_requests.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

namespace devbot {
namespace {

// Decimal digits without a sign, as the plug-in writes its numbers.
std::optional<std::int64_t> ReadDigits(const std::string& text) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The plug-in names its map by a short id; an empty one cannot be told apart from other maps.
void CheckMapId(ShapeCheck& check, const std::string& map_id) {
  if (check.ok() && map_id.empty()) check.Fail("body.mapId must not be empty");
}

void CheckPlatformId(ShapeCheck& check, const std::string& name, const std::string& text) {
  if (check.ok() && !IsPlatformIdText(text)) {
    check.Fail(name + " must be the decimal digits of an unsigned 64-bit number");
  }
}

SessionPlayer ReadPlayer(const nlohmann::json& element, const std::string& where, ShapeCheck& body) {
  ShapeCheck check(element, where);
  check.Holds({"platformId", "playerName", "sessionStartedAt", "steamName", "tribeName"});
  SessionPlayer player;
  player.platformId = check.String("platformId");
  CheckPlatformId(check, where + ".platformId", player.platformId);
  player.playerName = check.String("playerName");
  player.sessionStartedAt = check.Integer("sessionStartedAt");
  player.steamName = check.String("steamName");
  player.tribeName = check.String("tribeName");
  if (!check.ok()) body.Fail(check.error());
  return player;
}

template <class T>
Parsed<T> Outcome(const ShapeCheck& check, T value) {
  Parsed<T> parsed;
  if (check.ok()) {
    parsed.value = std::move(value);
  } else {
    parsed.error = check.error();
  }
  return parsed;
}

}  // namespace

nlohmann::json ToJson(const ChatInbound& line) {
  return {{"channel", line.channel},       {"mapId", line.mapId},           {"message", line.message},
          {"platformId", line.platformId}, {"playerName", line.playerName}, {"tribeName", line.tribeName}};
}

nlohmann::json ToJson(const SessionPlayer& player) {
  return {{"platformId", player.platformId},
          {"playerName", player.playerName},
          {"sessionStartedAt", player.sessionStartedAt},
          {"steamName", player.steamName},
          {"tribeName", player.tribeName}};
}

bool IsPlatformIdText(std::string_view text) {
  if (text.empty() || (text.size() > 1 && text.front() == '0')) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  std::uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

Parsed<ChatInbound> ParseChatInbound(std::string_view body) {
  Parsed<nlohmann::json> json = ParseJsonText(body);
  if (!json.value) return {std::nullopt, json.error};
  ShapeCheck check(*json.value, "body");
  check.Holds({"channel", "mapId", "message", "platformId", "playerName", "tribeName"});
  ChatInbound line;
  line.channel = check.String("channel");
  line.mapId = check.String("mapId");
  line.message = check.String("message");
  line.platformId = check.String("platformId");
  line.playerName = check.String("playerName");
  line.tribeName = check.String("tribeName");
  CheckMapId(check, line.mapId);
  CheckPlatformId(check, "body.platformId", line.platformId);
  return Outcome(check, std::move(line));
}

Parsed<SessionSync> ParseSessionSync(std::string_view body) {
  Parsed<nlohmann::json> json = ParseJsonText(body);
  if (!json.value) return {std::nullopt, json.error};
  ShapeCheck check(*json.value, "body");
  check.Holds({"mapId", "players"});
  SessionSync sync;
  sync.mapId = check.String("mapId");
  CheckMapId(check, sync.mapId);
  const nlohmann::json& players = check.Array("players");
  for (std::size_t index = 0; check.ok() && index < players.size(); ++index) {
    sync.players.push_back(ReadPlayer(players[index], "body.players[" + std::to_string(index) + "]", check));
  }
  return Outcome(check, std::move(sync));
}

Parsed<SessionLeave> ParseSessionLeave(std::string_view body) {
  Parsed<nlohmann::json> json = ParseJsonText(body);
  if (!json.value) return {std::nullopt, json.error};
  ShapeCheck check(*json.value, "body");
  check.Holds({"mapId", "platformId"});
  SessionLeave leave;
  leave.mapId = check.String("mapId");
  leave.platformId = check.String("platformId");
  CheckMapId(check, leave.mapId);
  CheckPlatformId(check, "body.platformId", leave.platformId);
  return Outcome(check, std::move(leave));
}

Parsed<OutboundQuery> ParseOutboundQuery(const std::string* map_id, const std::string* since,
                                         const std::string* wait_seconds) {
  if (map_id == nullptr || map_id->empty()) return {std::nullopt, "the query needs a mapId"};
  OutboundQuery query;
  query.mapId = *map_id;
  if (since != nullptr) {
    const std::optional<std::int64_t> ms = ReadDigits(*since);
    if (!ms) return {std::nullopt, "since must be a whole number of milliseconds from 0"};
    query.since = *ms;
  }
  if (wait_seconds != nullptr) {
    const std::optional<std::int64_t> seconds = ReadDigits(*wait_seconds);
    if (!seconds) return {std::nullopt, "waitSeconds must be a whole number of seconds from 0"};
    query.waitSeconds = static_cast<int>(std::min<std::int64_t>(*seconds, kLongestWaitSeconds));
  }
  return {query, {}};
}

}  // namespace devbot
