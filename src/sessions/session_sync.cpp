#include "sessions/session_sync.h"

#include <nlohmann/json.hpp>

#include <string>

#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "game/map_id.h"
#include "game/player.h"
#include "link/post_json.h"

namespace palaverlink {
namespace {

// The player's session start: kept from the first run that listed the player.
std::int64_t SessionStartOf(std::uint64_t platform_id) {
  auto& starts = SessionStarts();
  auto found = starts.find(platform_id);
  if (found != starts.end()) return found->second;
  const std::int64_t now = host::SystemTimeMs();
  starts.emplace(platform_id, now);
  return now;
}

void SyncOnce() {
  if (!EnsureMapId()) return;
  if (host::CurrentWorld() == nullptr) return;

  nlohmann::json players = nlohmann::json::array();
  ForEachPlayerController([&players](AShooterPlayerController* controller) {
    const std::uint64_t platform_id = GetPlatformId(controller);
    if (platform_id == 0) return;
    const std::int64_t started_at = SessionStartOf(platform_id);
    nlohmann::json player = nlohmann::json::object();
    player["platformId"] = PlatformIdText(platform_id);
    player["playerName"] = GetCharacterName(controller);
    player["steamName"] = GetAccountName(controller);
    player["tribeName"] = GetTribeName(controller);
    player["sessionStartedAt"] = started_at;
    players.push_back(std::move(player));
  });

  if (Settings().Debug) Log().info(messages::kSessionSync, players.size(), MapId());
  nlohmann::json body = nlohmann::json::object();
  body["mapId"] = MapId();
  body["players"] = std::move(players);
  PostJson("/api/sessions/sync", body);
}

}  // namespace

std::unordered_map<std::uint64_t, std::int64_t>& SessionStarts() {
  static std::unordered_map<std::uint64_t, std::int64_t> starts;
  return starts;
}

void SyncSessions() {
  RunGuarded("session sync", [] { SyncOnce(); });
}

}  // namespace palaverlink
