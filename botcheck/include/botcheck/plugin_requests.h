// The requests exactly as the plug-in sends them: the same paths, the bearer header only when a key
// is set, compact JSON bodies with their members in ascending order (the JSON library's default
// object keeps them sorted, as in the plug-in).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace botcheck {

// "Authorization: Bearer KEY", or nothing for an empty key.
std::vector<std::string> AuthHeaders(const std::string& api_key);

struct ChatLineBody {
  std::string mapId;
  std::string platformId;
  std::string playerName;
  std::string tribeName;
  std::string message;
  std::string channel;  // "global", "tribe" or "alliance"
};

struct SessionPlayerBody {
  std::string platformId;
  std::string playerName;
  std::int64_t sessionStartedAt = 0;
  std::string steamName;
  std::string tribeName;
};

nlohmann::json ChatInboundBody(const ChatLineBody& line);
nlohmann::json SessionSyncBody(const std::string& map_id, const std::vector<SessionPlayerBody>& players);
nlohmann::json SessionLeaveBody(const std::string& map_id, const std::string& platform_id);

// The body as it goes on the wire.
std::string WireText(const nlohmann::json& body);

// Every byte but the unreserved characters of RFC 3986 (letters, digits, '-', '.', '_', '~') as %XX
// with upper-case hex digits, as the plug-in encodes query values.
std::string PercentEncode(const std::string& value);

// "/api/chat/outbound?mapId=ID&since=MS", then "&waitSeconds=N" when `wait_seconds` is above 0 (the
// plug-in's long poll); the map id percent-encoded.
std::string OutboundPath(const std::string& map_id, std::int64_t since, int wait_seconds = 0);

}  // namespace botcheck
