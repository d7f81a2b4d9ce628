// A bot on a hand-driven clock, with the events it printed kept for inspection.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "devbot/bot.h"

namespace devbot::testing {

inline constexpr std::int64_t kStartTime = 1'700'000'000'000;

class BotHarness {
 public:
  explicit BotHarness(std::string api_key = "")
      : bot_(
            std::move(api_key), [this] { return now; },
            [this](const nlohmann::json& event) { events.push_back(event); }) {}

  Response Send(const std::string& method, const std::string& path, const QueryParams& query = {},
                const Headers& headers = {}, const std::string& body = "") {
    return bot_.Handle({method, path, query, headers, body, "127.0.0.1"});
  }

  Response Handle(const Request& request) { return bot_.Handle(request); }

  Response Get(const std::string& path, const QueryParams& query = {}, const Headers& headers = {}) {
    return Send("GET", path, query, headers);
  }

  // Posts a JSON body with the content type a plug-in uses, plus the given headers.
  Response Post(const std::string& path, const nlohmann::json& body, Headers headers = {}) {
    headers.emplace("Content-Type", "application/json");
    return Send("POST", path, {}, headers, body.dump());
  }

  // The answer's body as JSON (fails the test when it is not JSON).
  static nlohmann::json Json(const Response& response) { return nlohmann::json::parse(response.body); }

  nlohmann::json Poll(const std::string& map_id, std::int64_t since, const Headers& headers = {}) {
    return Json(Get("/api/chat/outbound", {{"mapId", map_id}, {"since", std::to_string(since)}}, headers))
        .at("messages");
  }

  // The events of one kind, in the order printed.
  std::vector<nlohmann::json> EventsOf(const std::string& kind) const {
    std::vector<nlohmann::json> found;
    for (const nlohmann::json& event : events) {
      if (event.value("event", "") == kind) found.push_back(event);
    }
    return found;
  }

  std::int64_t now = kStartTime;
  std::vector<nlohmann::json> events;

 private:
  Bot bot_;
};

inline nlohmann::json ChatBody(const std::string& map_id, const std::string& message,
                               const std::string& player = "Rex") {
  return {{"channel", "global"},  {"mapId", map_id},
          {"message", message},   {"platformId", "76561198000000001"},
          {"playerName", player}, {"tribeName", "Raptors"}};
}

inline nlohmann::json PlayerBody(const std::string& platform_id, const std::string& name) {
  return {{"platformId", platform_id},
          {"playerName", name},
          {"sessionStartedAt", kStartTime},
          {"steamName", name + "_steam"},
          {"tribeName", ""}};
}

}  // namespace devbot::testing
