#include "botcheck/answer_checks.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

#include "core/log_text.h"

namespace botcheck {
namespace {

// Milliseconds since 1970 are past 100000000000 since March 1973; seconds will not be for millennia.
constexpr std::int64_t kEarliestMilliseconds = 100'000'000'000;
constexpr std::int64_t kDayMs = 24 * 60 * 60 * 1000;

std::string TypeName(const nlohmann::json& value) { return value.type_name(); }

// Whether `time` is within a day of `now` in a unit `scale` times the millisecond (a fraction for
// a larger unit).
bool NearNow(double time, std::int64_t now_ms, double scale) {
  return std::abs(time / scale - static_cast<double>(now_ms)) <= static_cast<double>(kDayMs);
}

// What a stamp that is not in milliseconds since 1970 looks like, said as a guess.
std::string UnitGuess(std::int64_t time, std::int64_t now_ms) {
  const auto value = static_cast<double>(time);
  if (NearNow(value, now_ms, 1e-3)) return "it looks like seconds since 1970";
  if (NearNow(value, now_ms, 1e3)) return "it looks like microseconds since 1970";
  if (NearNow(value, now_ms, 1e6)) return "it looks like nanoseconds since 1970";
  if (time < kEarliestMilliseconds) {
    return "it is too small for any unit since 1970: perhaps a time since the bot's machine started, or a "
           "counter";
  }
  return "it matches no unit since 1970 near this machine's clock";
}

// The problem of one element, or nothing; fills `created` when createdAt is a whole number.
std::optional<std::string> ElementProblem(const nlohmann::json& element,
                                          std::optional<std::int64_t>& created) {
  if (!element.is_object()) return "is " + TypeName(element) + ", not an object";
  const auto time = element.find("createdAt");
  if (time == element.end()) return "has no createdAt";
  if (time->is_number_integer() && !time->is_number_unsigned()) {
    created = time->get<std::int64_t>();
  } else if (time->is_number_unsigned() && time->get<std::uint64_t>() <= INT64_MAX) {
    created = static_cast<std::int64_t>(time->get<std::uint64_t>());
  } else if (time->is_number_float()) {
    return "createdAt " + time->dump() + " is not a whole number";
  } else {
    return "createdAt is " + TypeName(*time) + ", not a number";
  }
  for (const char* key : {"author", "message", "kind"}) {
    const auto member = element.find(key);
    if (member == element.end()) return std::string("has no ") + key;
    if (!member->is_string()) return std::string(key) + " is " + TypeName(*member) + ", not a string";
  }
  if (element["kind"] != "gabblen") {
    const auto source = element.find("sourceMapName");
    if (source == element.end()) return "is of kind " + element["kind"].dump() + " but has no sourceMapName";
    if (!source->is_string()) return "sourceMapName is " + TypeName(*source) + ", not a string";
  }
  return std::nullopt;
}

}  // namespace

OutboundReading ReadOutbound(std::string_view body) {
  OutboundReading reading;
  const nlohmann::json value = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded()) return reading;
  const auto messages = value.is_object() ? value.find("messages") : value.end();
  if (!value.is_object() || messages == value.end() || !messages->is_array()) {
    reading.shape = OutboundShape::kMissingMessages;
    return reading;
  }
  reading.shape = OutboundShape::kMessages;
  reading.count = messages->size();
  for (std::size_t index = 0; index < messages->size(); ++index) {
    std::optional<std::int64_t> created;
    if (auto problem = ElementProblem((*messages)[index], created)) {
      reading.problems.push_back("messages[" + std::to_string(index) + "] " + *problem);
    }
    if (created) reading.createdAt.push_back(*created);
    const nlohmann::json& element = (*messages)[index];
    if (element.is_object() && element.contains("message") && element["message"].is_string()) {
      reading.texts.push_back(element["message"].get<std::string>());
      if (created) reading.stampedTexts.emplace_back(reading.texts.back(), *created);
    }
  }
  return reading;
}

std::string MediaType(std::string_view content_type) {
  std::string type(content_type.substr(0, content_type.find(';')));
  while (!type.empty() && type.back() == ' ') type.pop_back();
  std::transform(type.begin(), type.end(), type.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return type;
}

std::optional<std::string> CreatedAtUnitProblem(const std::vector<std::int64_t>& created,
                                                std::int64_t now_ms) {
  for (const std::int64_t time : created) {
    if (time < kEarliestMilliseconds) {
      return "createdAt " + std::to_string(time) +
             " is not in milliseconds since 1970: " + UnitGuess(time, now_ms);
    }
    if (time > now_ms + kDayMs) {
      return "createdAt " + std::to_string(time) +
             " lies more than a day in the future: " + UnitGuess(time, now_ms);
    }
  }
  return std::nullopt;
}

std::optional<std::string> ClockSkewProblem(std::int64_t sent_ms, std::int64_t answered_ms,
                                            std::int64_t created_at) {
  std::int64_t skew = 0;
  if (created_at > answered_ms + kClockToleranceMs) skew = created_at - answered_ms;
  if (created_at < sent_ms - kClockToleranceMs) skew = created_at - sent_ms;
  if (skew == 0) return std::nullopt;
  // To the nearest second: a stamp taken a millisecond before the line was sent is still an hour.
  const std::int64_t seconds = (std::abs(skew) + 500) / 1000;
  return "a line sent at " + std::to_string(sent_ms) + " by this machine's clock got createdAt " +
         std::to_string(created_at) + ": the bot's clock is about " + std::to_string(seconds) + " s " +
         (skew > 0 ? "ahead" : "behind");
}

std::optional<std::string> DuplicateCreatedAtProblem(std::vector<std::int64_t> created) {
  std::sort(created.begin(), created.end());
  const auto twin = std::adjacent_find(created.begin(), created.end());
  if (twin == created.end()) return std::nullopt;
  return "two messages share createdAt " + std::to_string(*twin);
}

std::optional<std::string> SinceProblem(std::int64_t since, const std::vector<std::int64_t>& created) {
  for (const std::int64_t time : created) {
    if (time <= since) {
      return "asked with since=" + std::to_string(since) + ", answered a message with createdAt " +
             std::to_string(time);
    }
  }
  return std::nullopt;
}

std::string Printable(std::string_view text, std::size_t longest) {
  if (text.empty()) return "(empty body)";
  std::string shown = palaverlink::EscapeControlCharacters(text.substr(0, longest));
  if (text.size() > longest) shown += "...";
  return shown;
}

std::size_t CountHolding(const std::vector<std::string>& texts, std::string_view line) {
  return static_cast<std::size_t>(std::count_if(texts.begin(), texts.end(), [&](const std::string& text) {
    return text.find(line) != std::string::npos;
  }));
}

}  // namespace botcheck
