#include "json_events.h"

namespace palaverlink::e2e {

std::optional<Json> ParseEvent(const std::string& line) {
  Json parsed = Json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return parsed;
}

std::vector<Json> Events(const ChildProcess& process) {
  std::vector<Json> events;
  for (const std::string& line : process.Lines()) {
    if (std::optional<Json> event = ParseEvent(line)) events.push_back(std::move(*event));
  }
  return events;
}

std::vector<Json> EventsOf(const ChildProcess& process, const std::string& kind) {
  std::vector<Json> events;
  for (Json& event : Events(process)) {
    if (event.value("event", "") == kind) events.push_back(std::move(event));
  }
  return events;
}

std::optional<Json> WaitForEvent(ChildProcess& process, const std::function<bool(const Json&)>& match,
                                 std::chrono::milliseconds timeout) {
  std::optional<std::string> line = process.WaitForLine(
      [&](const std::string& text) {
        std::optional<Json> event = ParseEvent(text);
        return event && match(*event);
      },
      timeout);
  if (!line) return std::nullopt;
  return ParseEvent(*line);
}

}  // namespace palaverlink::e2e
