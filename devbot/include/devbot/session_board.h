// Who plays where, as the plug-ins report it: the latest sync of each map minus the players that
// left since, and the list of every leave notice.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "devbot/bot_requests.h"

namespace devbot {

class SessionBoard {
 public:
  void ApplySync(const SessionSync& sync, std::int64_t received_at);
  // Returns whether the player was listed on that map.
  bool ApplyLeave(const SessionLeave& leave, std::int64_t received_at);

  // {"maps":{mapId:{"mapName":..,"syncedAt":..,"players":[..]}}}
  nlohmann::json SessionsJson() const;
  // {"leaves":[{"mapId":..,"platformId":..,"receivedAt":..}]}
  nlohmann::json LeavesJson() const;

 private:
  struct MapSessions {
    std::int64_t synced_at = 0;
    std::vector<SessionPlayer> players;
  };
  struct LeaveRecord {
    SessionLeave leave;
    std::int64_t received_at = 0;
  };

  std::map<std::string, MapSessions> maps_;
  std::vector<LeaveRecord> leaves_;
};

}  // namespace devbot
