#include "devbot/admin_requests.h"

namespace devbot {

Parsed<SayCommand> ParseSayCommand(std::string_view body) {
  Parsed<nlohmann::json> json = ParseJsonText(body);
  if (!json.value) return {std::nullopt, json.error};
  ShapeCheck check(*json.value, "body");
  check.Members({"message"}, {"author", "mapId"});
  SayCommand say;
  say.message = check.String("message");
  say.author = check.OptionalString("author").value_or("");
  say.mapId = check.OptionalString("mapId");
  if (check.ok() && say.mapId && say.mapId->empty()) check.Fail("body.mapId must not be empty");
  if (!check.ok()) return {std::nullopt, check.error()};
  return {std::move(say), {}};
}

Parsed<Fault> ParseFaultCommand(std::string_view body) {
  Parsed<nlohmann::json> json = ParseJsonText(body);
  if (!json.value) return {std::nullopt, json.error};
  ShapeCheck check(*json.value, "body");
  check.Members({"mode"}, {"ms"});
  std::string mode_name = check.String("mode");
  std::optional<std::int64_t> ms = check.OptionalInteger("ms");
  if (!check.ok()) return {std::nullopt, check.error()};

  std::optional<FaultMode> mode = FaultModeFromName(mode_name);
  if (!mode) return {std::nullopt, "body.mode must be one of none, down, 401, garbage, slow, hang"};
  if (ms && (*ms < 0 || *ms > kLongestFaultDelay.count())) {
    return {std::nullopt, "body.ms must lie between 0 and " + std::to_string(kLongestFaultDelay.count())};
  }
  Fault fault;
  fault.mode = *mode;
  if (fault.mode == FaultMode::kSlow || fault.mode == FaultMode::kHang) {
    fault.delay = ms ? std::chrono::milliseconds(*ms) : kDefaultSlowDelay;
  }
  return {fault, {}};
}

}  // namespace devbot
