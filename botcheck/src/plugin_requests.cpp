#include "botcheck/plugin_requests.h"

namespace botcheck {

std::vector<std::string> AuthHeaders(const std::string& api_key) {
  if (api_key.empty()) return {};
  return {"Authorization: Bearer " + api_key};
}

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

std::string WireText(const nlohmann::json& body) {
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

std::string OutboundPath(const std::string& map_id, std::int64_t since) {
  return "/api/chat/outbound?mapId=" + map_id + "&since=" + std::to_string(since);
}

}  // namespace botcheck
