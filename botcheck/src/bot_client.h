// botcheck's requests to the bot, each a named call, written by the plug-in's own code: the key sent
// as the plug-in sends it, every post under an Idempotency-Key of its own, and the slowest answer
// kept for the speed check. A request with the key that the bot refuses with 401 or 403 ends the
// run (KeyRefused): every later check would only repeat it.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "botcheck/http_client.h"
#include "botcheck/options.h"
#include "link/bot_endpoints.h"

namespace botcheck {

struct KeyRefused {
  std::string request;  // "GET /api/chat/outbound"
  long status = 0;
};

// A post as it went, so that it can be sent again under its key.
struct Posted {
  palaverlink::Endpoint endpoint;
  HttpRequest request;
  HttpAnswer answer;
};

class BotClient {
 public:
  // `run_id`: 16 hex digits, the first part of every Idempotency-Key, as the plug-in draws one at load.
  BotClient(const Options& options, std::string run_id);

  HttpAnswer Health();  // without the key
  HttpAnswer HealthWithKey();
  HttpAnswer PollWithoutKey(const std::string& map_id, std::int64_t since);
  HttpAnswer PollWithWrongKey(const std::string& map_id, std::int64_t since);
  HttpAnswer PostWithoutKey(palaverlink::Endpoint endpoint, const nlohmann::json& body);

  HttpAnswer Poll(const std::string& map_id, std::int64_t since);
  Posted Post(palaverlink::Endpoint endpoint, const nlohmann::json& body);
  // The same request again, under the same key, as the plug-in resends a post whose answer was lost.
  HttpAnswer PostAgain(const Posted& first);

  // A long poll may take as long as it asked for: it is left out of the speed check, as is the
  // ordinary poll that warms a connection of its own for one.
  HttpAnswer HeldPoll(std::int64_t since) { return HeldPollOn(connection_, since); }
  HttpAnswer HeldPollOn(HttpClient& connection, std::int64_t since);
  HttpAnswer WarmUpOn(HttpClient& connection, std::int64_t since);

  // The slowest answer so far of the requests not left out.
  std::chrono::milliseconds Slowest() const { return slowest_; }

 private:
  HttpRequest Request(palaverlink::Endpoint endpoint, std::string url, std::vector<std::string> headers,
                      std::string body = {}) const;
  HttpAnswer SendWithKey(HttpClient& connection, palaverlink::Endpoint endpoint, const HttpRequest& request);
  HttpAnswer Tracked(HttpAnswer answer);

  const Options& options_;
  const std::string run_id_;
  HttpClient connection_;
  int posts_ = 0;
  std::chrono::milliseconds slowest_{0};
};

}  // namespace botcheck
