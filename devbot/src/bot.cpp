#include "devbot/bot.h"

#include <exception>

#include "devbot/json_text.h"
#include "devbot/map_names.h"
#include "link/bot_endpoints.h"

namespace devbot {

Bot::Bot(std::string api_key, MillisecondClock clock, EventSink events)
    : api_key_(std::move(api_key)), events_(std::move(events)), timestamps_(std::move(clock)) {}

void Bot::OnQueued(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  on_queued_ = std::move(listener);
}

Response Bot::Handle(const Request& request) {
  try {
    std::lock_guard lock(mutex_);
    return Route(request);
  } catch (const std::exception& error) {
    return ErrorResponse(500, std::string("the bot failed: ") + error.what());
  } catch (...) {
    return ErrorResponse(500, "the bot failed");
  }
}

Response Bot::Route(const Request& request) {
  // The admin interface stays reachable whatever fault is on, so that tests can switch it off.
  if (request.path.starts_with("/admin/")) return HandleAdmin(request);
  if (!request.asked_again) ++requests_[request.method + " " + request.path];

  Response response;
  if (fault_.mode == FaultMode::kHang) {
    // Nothing of the request is taken: the client gives up before the answer comes.
    response = ErrorResponse(503, "the bot hung");
    response.delay = fault_.delay;
    return response;
  }
  if (fault_.mode == FaultMode::kDown) {
    response = ErrorResponse(503, "the bot is down");
  } else if (request.path == palaverlink::endpoints::kHealth.path) {
    response = (request.method == "GET" || request.method == "HEAD")
                   ? HandleHealth()
                   : Reject(request, 405, "/health answers GET only");
  } else if (request.path.starts_with("/api/")) {
    response = HandleApi(request);
  } else {
    response = Reject(request, 404, "no such path: " + request.path);
  }
  if (fault_.mode == FaultMode::kSlow) response.delay = fault_.delay;
  return response;
}

Response Bot::HandleHealth() { return JsonResponse(200, {{"status", "ok"}}); }

void Bot::KnowMap(const std::string& map_id) {
  if (!known_maps_.insert(map_id).second) return;
  Emit({{"event", "map"}, {"mapId", map_id}, {"mapName", DisplayMapName(map_id)}});
}

void Bot::Queue(const std::string& map_id, OutboundMessage message) {
  message.createdAt = timestamps_.Next();
  messages_.Add(map_id, std::move(message));
  if (on_queued_) on_queued_();
}

void Bot::Emit(const nlohmann::json& event) const {
  if (!events_) return;
  try {
    events_(event);
  } catch (...) {
    // A failing printer must not turn an accepted request into an error.
  }
}

Response Bot::Reject(const Request& request, int status, const std::string& reason) const {
  Emit({{"event", "rejected"},
        {"method", request.method},
        {"path", request.path},
        {"status", status},
        {"reason", reason}});
  return ErrorResponse(status, reason);
}

}  // namespace devbot
