#include "devbot/message_store.h"

#include <algorithm>

namespace devbot {

nlohmann::json ToJson(const OutboundMessage& message) {
  nlohmann::json json{{"createdAt", message.createdAt},
                      {"author", message.author},
                      {"message", message.message},
                      {"kind", message.kind}};
  if (message.kind == kKindMap) json["sourceMapName"] = message.sourceMapName;
  return json;
}

void MessageStore::Add(const std::string& map_id, OutboundMessage message) {
  by_map_[map_id].push_back(std::move(message));
}

std::vector<OutboundMessage> MessageStore::After(const std::string& map_id, std::int64_t since) const {
  auto found = by_map_.find(map_id);
  if (found == by_map_.end()) return {};
  const std::vector<OutboundMessage>& messages = found->second;
  auto first = std::upper_bound(
      messages.begin(), messages.end(), since,
      [](std::int64_t time, const OutboundMessage& message) { return time < message.createdAt; });
  return {first, messages.end()};
}

}  // namespace devbot
