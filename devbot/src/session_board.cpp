#include "devbot/session_board.h"

#include <algorithm>

#include "devbot/map_names.h"

namespace devbot {

void SessionBoard::ApplySync(const SessionSync& sync, std::int64_t received_at) {
  MapSessions& map = maps_[sync.mapId];
  map.synced_at = received_at;
  map.players = sync.players;
}

bool SessionBoard::ApplyLeave(const SessionLeave& leave, std::int64_t received_at) {
  leaves_.push_back({leave, received_at});
  auto found = maps_.find(leave.mapId);
  if (found == maps_.end()) return false;
  std::vector<SessionPlayer>& players = found->second.players;
  auto removed = std::remove_if(players.begin(), players.end(), [&leave](const SessionPlayer& player) {
    return player.platformId == leave.platformId;
  });
  bool was_listed = removed != players.end();
  players.erase(removed, players.end());
  return was_listed;
}

nlohmann::json SessionBoard::SessionsJson() const {
  nlohmann::json maps = nlohmann::json::object();
  for (const auto& [map_id, sessions] : maps_) {
    nlohmann::json players = nlohmann::json::array();
    for (const SessionPlayer& player : sessions.players) players.push_back(ToJson(player));
    maps[map_id] = {
        {"mapName", DisplayMapName(map_id)}, {"syncedAt", sessions.synced_at}, {"players", players}};
  }
  return {{"maps", maps}};
}

nlohmann::json SessionBoard::LeavesJson() const {
  nlohmann::json leaves = nlohmann::json::array();
  for (const LeaveRecord& record : leaves_) {
    leaves.push_back({{"mapId", record.leave.mapId},
                      {"platformId", record.leave.platformId},
                      {"receivedAt", record.received_at}});
  }
  return {{"leaves", leaves}};
}

}  // namespace devbot
