// The development bot: the five requests of the bot interface, the bearer key, the message store
// with its relay between maps, and the admin commands. Thread-safe: the server may call Handle from
// several threads at once.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "devbot/bot_requests.h"
#include "devbot/fault.h"
#include "devbot/http_types.h"
#include "devbot/message_store.h"
#include "devbot/session_board.h"
#include "devbot/taken_posts.h"
#include "devbot/timestamps.h"

namespace devbot {

// Receives one JSON object per thing the bot was told ({"event":"inbound",...}).
using EventSink = std::function<void(const nlohmann::json&)>;

class Bot {
 public:
  // An empty key turns the key check off.
  Bot(std::string api_key, MillisecondClock clock, EventSink events);

  // Answers one request. Never throws: an unexpected failure is answered 500.
  Response Handle(const Request& request);

  // Called, under the bot's lock, whenever a message is queued for any map: held polls ask again.
  void OnQueued(std::function<void()> listener);

 private:
  // Under the lock.
  Response Route(const Request& request);
  Response HandleHealth();
  Response HandleApi(const Request& request);
  Response HandleAdmin(const Request& request);

  Response ChatInboundRequest(const Request& request);
  Response ChatOutboundRequest(const Request& request);
  Response SessionsSyncRequest(const Request& request);
  Response SessionsLeaveRequest(const Request& request);
  // Runs a post's handler once per Idempotency-Key: a repeat gets the first answer again.
  Response TakeOnce(const Request& request, Response (Bot::*handler)(const Request&));

  Response SayCommandRequest(const Request& request);
  Response FaultCommandRequest(const Request& request);
  Response InboundListing(const Request& request) const;
  Response MessagesListing(const Request& request) const;
  Response MapsListing() const;
  Response RequestCounts() const;

  void KnowMap(const std::string& map_id);
  void Queue(const std::string& map_id, OutboundMessage message);
  void Emit(const nlohmann::json& event) const;
  Response Reject(const Request& request, int status, const std::string& reason) const;

  struct InboundRecord {
    ChatInbound line;
    std::int64_t received_at = 0;
  };

  const std::string api_key_;
  const EventSink events_;
  std::function<void()> on_queued_;

  std::mutex mutex_;
  TimestampSource timestamps_;
  MessageStore messages_;
  SessionBoard sessions_;
  std::set<std::string> known_maps_;
  std::map<std::string, std::int64_t> requests_;  // "METHOD /path" -> requests, admin ones aside
  std::vector<InboundRecord> inbound_;
  TakenPosts taken_posts_;
  Fault fault_;
};

}  // namespace devbot
