// The requests exactly as the plug-in sends them: the plug-in's own table of requests and its own
// writing of URLs, headers and bodies (link/request_form.h); here only the bodies' members, which the
// plug-in fills from the game.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace botcheck {

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

// The URL of the outbound poll at `base`, as the plug-in writes it (waitSeconds only when above 0).
std::string OutboundUrl(const std::string& base, const std::string& map_id, std::int64_t since,
                        int wait_seconds = 0);

}  // namespace botcheck
