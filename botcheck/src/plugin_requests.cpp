#include "botcheck/plugin_requests.h"

#include "link/bot_endpoints.h"
#include "link/request_form.h"

namespace botcheck {

nlohmann::json ChatInboundBody(const ChatLineBody& line) {
  return {{"channel", line.channel},       {"mapId", line.mapId},           {"message", line.message},
          {"platformId", line.platformId}, {"playerName", line.playerName}, {"tribeName", line.tribeName}};
}

nlohmann::json SessionSyncBody(const std::string& map_id, const std::vector<SessionPlayerBody>& players) {
  nlohmann::json list = nlohmann::json::array();
  for (const SessionPlayerBody& player : players) {
    list.push_back({{"platformId", player.platformId},
                    {"playerName", player.playerName},
                    {"sessionStartedAt", player.sessionStartedAt},
                    {"steamName", player.steamName},
                    {"tribeName", player.tribeName}});
  }
  return {{"mapId", map_id}, {"players", list}};
}

nlohmann::json SessionLeaveBody(const std::string& map_id, const std::string& platform_id) {
  return {{"mapId", map_id}, {"platformId", platform_id}};
}

std::string OutboundUrl(const std::string& base, const std::string& map_id, std::int64_t since,
                        int wait_seconds) {
  return palaverlink::BotUrl(base, palaverlink::endpoints::kChatOutbound.path,
                             palaverlink::OutboundPollQuery(map_id, since, wait_seconds));
}

}  // namespace botcheck
