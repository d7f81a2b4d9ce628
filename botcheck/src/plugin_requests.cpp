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

std::string PercentEncode(const std::string& value) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char byte : value) {
    const auto c = static_cast<unsigned char>(byte);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      encoded.push_back(byte);
    } else {
      encoded += {'%', kHex[c >> 4], kHex[c & 0x0F]};
    }
  }
  return encoded;
}

std::string OutboundPath(const std::string& map_id, std::int64_t since, int wait_seconds) {
  std::string path = "/api/chat/outbound?mapId=" + PercentEncode(map_id) + "&since=" + std::to_string(since);
  if (wait_seconds > 0) path += "&waitSeconds=" + std::to_string(wait_seconds);
  return path;
}

}  // namespace botcheck
