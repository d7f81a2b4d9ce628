// The messages waiting for each map's players, in the order of their times.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace devbot {

inline constexpr const char* kKindGabblen = "gabblen";  // a line from the outside chat platform
inline constexpr const char* kKindMap = "map";          // a line relayed from another map

struct OutboundMessage {
  std::int64_t createdAt = 0;
  std::string author;
  std::string message;
  std::string kind;
  std::string sourceMapName;  // for kind "map"
};

// The message as a poll answer holds it; "sourceMapName" only for kind "map".
nlohmann::json ToJson(const OutboundMessage& message);

class MessageStore {
 public:
  // Messages must be added with increasing createdAt per map.
  void Add(const std::string& map_id, OutboundMessage message);

  // The map's messages created strictly after `since`, oldest first.
  std::vector<OutboundMessage> After(const std::string& map_id, std::int64_t since) const;

 private:
  std::map<std::string, std::vector<OutboundMessage>> by_map_;
};

}  // namespace devbot
