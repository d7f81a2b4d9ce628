// Reading an answer to the outbound poll the way the plug-in reads it, and naming what in it would
// make the plug-in show a message wrongly, twice or never. Pure functions, so that each rule can be
// tested on answer texts alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace botcheck {

enum class OutboundShape { kMessages, kUnparsable, kMissingMessages };

struct OutboundReading {
  OutboundShape shape = OutboundShape::kUnparsable;
  std::size_t count = 0;                // elements of "messages"
  std::vector<std::int64_t> createdAt;  // of the elements whose createdAt is a whole number
  std::vector<std::string> texts;       // the "message" of the elements that have one as a string
  // The "message" and createdAt of the elements that have both.
  std::vector<std::pair<std::string, std::int64_t>> stampedTexts;
  std::vector<std::string> problems;  // one per faulty element: "messages[1]: ..."
};

OutboundReading ReadOutbound(std::string_view body);

// The media type without parameters, lower case: "application/json" for "Application/JSON; charset=utf-8".
std::string MediaType(std::string_view content_type);

// Times that cannot be milliseconds since 1970 (seconds, or far in the future), else nothing.
std::optional<std::string> CreatedAtUnitProblem(const std::vector<std::int64_t>& created,
                                                std::int64_t now_ms);

// How far the bot's clock may stand from botcheck's: beyond it, the plug-in notices (stamps ahead)
// or shows nothing for that long after each start (a clock behind).
inline constexpr std::int64_t kClockToleranceMs = 5'000;

// A line posted between `sent_ms` and `answered_ms` by botcheck's clock, stamped `created_at` by the
// bot: the skew beyond kClockToleranceMs, else nothing.
std::optional<std::string> ClockSkewProblem(std::int64_t sent_ms, std::int64_t answered_ms,
                                            std::int64_t created_at);

// Two elements of one map that share a createdAt, else nothing.
std::optional<std::string> DuplicateCreatedAtProblem(std::vector<std::int64_t> created);

// Elements of an answer to `since` that are not newer than it, else nothing.
std::optional<std::string> SinceProblem(std::int64_t since, const std::vector<std::int64_t>& created);

// The bot's text as a report line shows it: control characters written as \n, \r or \xHH (as the
// plug-in's log writes them), cut after `longest` bytes with "...", and "(empty body)" for nothing.
std::string Printable(std::string_view text, std::size_t longest = 120);

// How many of `texts` hold `line`.
std::size_t CountHolding(const std::vector<std::string>& texts, std::string_view line);

}  // namespace botcheck
