// The admin interface: what tests and demos use to speak for the outside platform, to see what the
// plug-ins sent, and to switch faults on.
#include <array>
#include <string_view>

#include "devbot/admin_requests.h"
#include "devbot/bot.h"
#include "devbot/json_text.h"
#include "devbot/map_names.h"
#include "devbot/request_checks.h"

namespace devbot {
namespace {

nlohmann::json FaultJson(const Fault& fault) {
  return {{"mode", FaultModeName(fault.mode)}, {"ms", fault.delay.count()}};
}

}  // namespace

Response Bot::HandleAdmin(const Request& request) {
  if (!IsLoopbackAddress(request.remote_address)) {
    return Reject(request, 403, "the admin interface answers loopback addresses only");
  }
  const std::string& path = request.path;
  const bool get = request.method == "GET" || request.method == "HEAD";
  const bool post = request.method == "POST";
  if (post && !IsJsonContentType(request.headers)) {
    return Reject(request, 400, "the body must be sent with Content-Type application/json");
  }
  if (post && path == "/admin/say") return SayCommandRequest(request);
  if (post && path == "/admin/fault") return FaultCommandRequest(request);
  if (get && path == "/admin/fault") return JsonResponse(200, FaultJson(fault_));
  if (get && path == "/admin/inbound") return InboundListing(request);
  if (get && path == "/admin/sessions") return JsonResponse(200, sessions_.SessionsJson());
  if (get && path == "/admin/leaves") return JsonResponse(200, sessions_.LeavesJson());
  if (get && path == "/admin/messages") return MessagesListing(request);
  if (get && path == "/admin/maps") return MapsListing();
  if (get && path == "/admin/requests") return RequestCounts();
  return Reject(request, 404, "no such admin command: " + request.method + " " + path);
}

Response Bot::RequestCounts() const { return JsonResponse(200, {{"requests", requests_}}); }

Response Bot::SayCommandRequest(const Request& request) {
  Parsed<SayCommand> parsed = ParseSayCommand(request.body);
  if (!parsed.value) return Reject(request, 400, parsed.error);
  const SayCommand& say = *parsed.value;
  if (say.mapId) KnowMap(*say.mapId);

  nlohmann::json maps = nlohmann::json::array();
  for (const std::string& map_id : known_maps_) {
    if (say.mapId && *say.mapId != map_id) continue;
    Queue(map_id, {0, say.author, say.message, kKindGabblen, {}});
    maps.push_back(map_id);
  }
  Emit({{"event", "say"}, {"author", say.author}, {"message", say.message}, {"maps", maps}});
  return JsonResponse(200, {{"queued", maps.size()}, {"maps", maps}});
}

Response Bot::FaultCommandRequest(const Request& request) {
  Parsed<Fault> parsed = ParseFaultCommand(request.body);
  if (!parsed.value) return Reject(request, 400, parsed.error);
  fault_ = *parsed.value;
  nlohmann::json event = FaultJson(fault_);
  event["event"] = "fault";
  Emit(event);
  return JsonResponse(200, FaultJson(fault_));
}

Response Bot::InboundListing(const Request& request) const {
  auto filter = request.query.find("mapId");
  nlohmann::json lines = nlohmann::json::array();
  for (const InboundRecord& record : inbound_) {
    if (filter != request.query.end() && filter->second != record.line.mapId) continue;
    nlohmann::json line = ToJson(record.line);
    line["receivedAt"] = record.received_at;
    lines.push_back(line);
  }
  return JsonResponse(200, {{"lines", lines}});
}

Response Bot::MessagesListing(const Request& request) const {
  auto map_id = request.query.find("mapId");
  if (map_id == request.query.end() || map_id->second.empty()) {
    return Reject(request, 400, "the query needs a mapId");
  }
  nlohmann::json messages = nlohmann::json::array();
  for (const OutboundMessage& message : messages_.After(map_id->second, INT64_MIN)) {
    messages.push_back(ToJson(message));
  }
  return JsonResponse(200, {{"mapId", map_id->second}, {"messages", messages}});
}

Response Bot::MapsListing() const {
  nlohmann::json maps = nlohmann::json::array();
  for (const std::string& map_id : known_maps_) {
    maps.push_back({{"mapId", map_id}, {"mapName", DisplayMapName(map_id)}});
  }
  return JsonResponse(200, {{"maps", maps}});
}

}  // namespace devbot
