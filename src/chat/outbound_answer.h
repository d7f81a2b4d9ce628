// Reading the bot's answer to an outbound poll: pure functions over the answer's text, so that the
// completion only has to move the cursor and show what they give.
#pragma once

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "chat/answer_skim.h"

namespace palaverlink {

// Warnings about an answer quote at most this many bytes of it (a cut may split a UTF-8 sequence).
inline constexpr std::size_t kAnswerExcerptBytes = 200;

inline std::string AnswerExcerpt(std::string_view answer) {
  return std::string(answer.substr(0, kAnswerExcerptBytes));
}

// "[Gabblen]" for a line from the outside platform (kind exactly "gabblen"), else the source map.
inline std::string SenderTag(std::string_view kind, std::string_view source_map_name) {
  if (kind == "gabblen") return "[Gabblen]";
  std::string tag = "<";
  tag += source_map_name;
  tag += '>';
  return tag;
}

// "author: message", or the message alone when there is no author.
inline std::string ChatLine(std::string_view author, std::string_view message) {
  if (author.empty()) return std::string(message);
  std::string line(author);
  line += ": ";
  line += message;
  return line;
}

// One message ready to show, with the raw values that the Debug line quotes.
struct OutboundMessage {
  std::string kind;
  std::string author;
  std::string message;
  std::string senderTag;
  std::string chatLine;
};

// One element of the "messages" array. `createdAt` is empty when the element has no usable one
// (wrong type); `message` is empty when the element is malformed and is to be skipped.
struct OutboundElement {
  std::optional<std::int64_t> createdAt;
  std::optional<OutboundMessage> message;
};

namespace outbound_detail {

// A number as whole milliseconds, a fraction dropped; empty for anything else (null and booleans
// included) and for numbers no 64-bit time can hold.
inline std::optional<std::int64_t> ReadMilliseconds(const nlohmann::json& value) {
  if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
  if (value.is_number_unsigned()) {
    auto number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(number);
  }
  if (value.is_number_float()) {
    double number = std::trunc(value.get<double>());
    // 2^63 is exactly representable; everything in [-2^63, 2^63) fits.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(number) || number < -kLimit || number >= kLimit) return std::nullopt;
    return static_cast<std::int64_t>(number);
  }
  return std::nullopt;
}

// The string under `key`, `fallback` when absent, empty when present with another type.
inline std::optional<std::string> ReadText(const nlohmann::json& element, const char* key,
                                           std::string_view fallback) {
  auto found = element.find(key);
  if (found == element.end()) return std::string(fallback);
  if (!found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

inline OutboundElement ReadElement(const nlohmann::json& element) {
  OutboundElement read;
  if (!element.is_object()) return read;

  auto created = element.find("createdAt");
  if (created == element.end()) {
    read.createdAt = 0;
  } else {
    read.createdAt = ReadMilliseconds(*created);
    if (!read.createdAt) return read;
  }

  auto author = ReadText(element, "author", "");
  auto message = ReadText(element, "message", "");
  auto kind = ReadText(element, "kind", "gabblen");
  if (!author || !message || !kind) return read;

  // The source map is read only for lines from another map.
  std::optional<std::string> source_map = std::string();
  if (*kind != "gabblen") source_map = ReadText(element, "sourceMapName", "Map");
  if (!source_map) return read;

  OutboundMessage shown;
  shown.senderTag = SenderTag(*kind, *source_map);
  shown.chatLine = ChatLine(*author, *message);
  shown.kind = std::move(*kind);
  shown.author = std::move(*author);
  shown.message = std::move(*message);
  read.message = std::move(shown);
  return read;
}

}  // namespace outbound_detail

// One element found by the skim, read in full.
inline OutboundElement ReadSkimmedElement(const SkimmedElement& element) {
  return outbound_detail::ReadElement(nlohmann::json::parse(element.text));
}

}  // namespace palaverlink
