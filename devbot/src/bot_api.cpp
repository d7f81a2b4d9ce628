// The five requests of the bot interface, as the plug-in sends them.
#include <array>
#include <string_view>
#include <utility>

#include "devbot/bot.h"
#include "devbot/json_text.h"
#include "devbot/map_names.h"
#include "devbot/request_checks.h"
#include "link/bot_endpoints.h"

namespace devbot {
namespace {

using palaverlink::HttpMethod;
namespace endpoints = palaverlink::endpoints;

struct ApiRoute {
  palaverlink::Endpoint endpoint;
  Response (Bot::*handler)(const Request&);
};

const std::string* QueryValue(const Request& request, const std::string& name) {
  auto found = request.query.find(name);
  return found == request.query.end() ? nullptr : &found->second;
}

}  // namespace

Response Bot::HandleApi(const Request& request) {
  static const std::array<ApiRoute, 4> kRoutes{{
      {endpoints::kChatInbound, &Bot::ChatInboundRequest},
      {endpoints::kChatOutbound, &Bot::ChatOutboundRequest},
      {endpoints::kSessionsSync, &Bot::SessionsSyncRequest},
      {endpoints::kSessionsLeave, &Bot::SessionsLeaveRequest},
  }};
  const ApiRoute* route = nullptr;
  for (const ApiRoute& candidate : kRoutes) {
    if (candidate.endpoint.path == request.path) route = &candidate;
  }
  if (route == nullptr) return Reject(request, 404, "no such path: " + request.path);
  const std::string_view method = palaverlink::MethodName(route->endpoint.method);
  if (method != request.method) {
    return Reject(request, 405, request.path + " answers " + std::string(method) + " only");
  }
  if (!api_key_.empty() && !HasBearerKey(request.headers, api_key_)) {
    return Reject(request, 401, "missing or wrong API key: send \"Authorization: Bearer <key>\"");
  }
  if (fault_.mode == FaultMode::kRejectKey) return ErrorResponse(401, "the bot rejects every key");
  const bool post = route->endpoint.method == HttpMethod::kPost;
  if (post && !IsJsonContentType(request.headers)) {
    return Reject(request, 400, "the body must be sent with Content-Type application/json");
  }
  if (post) return TakeOnce(request, route->handler);
  return (this->*(route->handler))(request);
}

Response Bot::TakeOnce(const Request& request, Response (Bot::*handler)(const Request&)) {
  const Parsed<std::optional<std::string>> key = ReadIdempotencyKey(request.headers);
  if (!key.value) return Reject(request, 400, key.error);
  if (!*key.value) return (this->*handler)(request);
  const std::string& text = **key.value;
  if (std::optional<Response> first = taken_posts_.AnswerTo(text, timestamps_.Now())) {
    Emit({{"event", "repeat"}, {"path", request.path}, {"key", text}});
    return *first;
  }
  Response answer = (this->*handler)(request);
  if (answer.status >= 200 && answer.status < 300) taken_posts_.Remember(text, answer, timestamps_.Now());
  return answer;
}

Response Bot::ChatInboundRequest(const Request& request) {
  Parsed<ChatInbound> parsed = ParseChatInbound(request.body);
  if (!parsed.value) return Reject(request, 400, parsed.error);
  const ChatInbound& line = *parsed.value;
  KnowMap(line.mapId);
  inbound_.push_back({line, timestamps_.Next()});

  nlohmann::json relayed_to = nlohmann::json::array();
  for (const std::string& map_id : known_maps_) {
    if (map_id == line.mapId) continue;
    Queue(map_id, {0, line.playerName, line.message, kKindMap, DisplayMapName(line.mapId)});
    relayed_to.push_back(map_id);
  }
  nlohmann::json event = ToJson(line);
  event["event"] = "inbound";
  event["relayedTo"] = relayed_to;
  Emit(event);
  return JsonResponse(200, {{"ok", true}, {"relayedTo", relayed_to}});
}

Response Bot::ChatOutboundRequest(const Request& request) {
  Parsed<OutboundQuery> parsed = ParseOutboundQuery(
      QueryValue(request, "mapId"), QueryValue(request, "since"), QueryValue(request, "waitSeconds"));
  if (!parsed.value) return Reject(request, 400, parsed.error);
  const OutboundQuery& query = *parsed.value;
  KnowMap(query.mapId);
  if (fault_.mode == FaultMode::kGarbage) {
    return {200, "text/html", "<html><body><h1>502 Bad Gateway</h1></body></html>\n", {}};
  }

  nlohmann::json messages = nlohmann::json::array();
  for (const OutboundMessage& message : messages_.After(query.mapId, query.since)) {
    messages.push_back(ToJson(message));
  }
  const bool none = messages.empty();
  // The messages move from the event to the answer: a backlog's thousands are built once.
  if (!none) {
    nlohmann::json event{{"event", "poll"}, {"mapId", query.mapId}, {"since", query.since}};
    event["messages"] = std::move(messages);
    Emit(event);
    messages = std::move(event["messages"]);
  }
  // Its own clock, so that a plug-in can ask from the bot's time when the clocks disagree.
  nlohmann::json answer{{"answeredAt", timestamps_.Now()}};
  answer["messages"] = std::move(messages);
  Response response = JsonResponse(200, answer);
  if (none) response.hold = std::chrono::seconds(query.waitSeconds);
  return response;
}

Response Bot::SessionsSyncRequest(const Request& request) {
  Parsed<SessionSync> parsed = ParseSessionSync(request.body);
  if (!parsed.value) return Reject(request, 400, parsed.error);
  const SessionSync& sync = *parsed.value;
  KnowMap(sync.mapId);
  sessions_.ApplySync(sync, timestamps_.Now());
  nlohmann::json players = nlohmann::json::array();
  for (const SessionPlayer& player : sync.players) {
    players.push_back(ToJson(player));
  }
  Emit({{"event", "sync"}, {"mapId", sync.mapId}, {"players", players}});
  return JsonResponse(200, {{"ok", true}});
}

Response Bot::SessionsLeaveRequest(const Request& request) {
  Parsed<SessionLeave> parsed = ParseSessionLeave(request.body);
  if (!parsed.value) return Reject(request, 400, parsed.error);
  const SessionLeave& leave = *parsed.value;
  KnowMap(leave.mapId);
  bool was_listed = sessions_.ApplyLeave(leave, timestamps_.Now());
  Emit({{"event", "leave"},
        {"mapId", leave.mapId},
        {"platformId", leave.platformId},
        {"wasListed", was_listed}});
  return JsonResponse(200, {{"ok", true}});
}

}  // namespace devbot
