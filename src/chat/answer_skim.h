// A quick first reading of an outbound answer: checks the whole text as strict JSON without building
// it, and finds each element of "messages" with its "createdAt". A backlog of thousands of messages
// is skimmed in a fraction of the time a full parse takes, so that a completion can show a few of
// them and parse only those.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace palaverlink {

enum class SkimShape { kMessages, kUnparsable, kMissingMessages };

struct SkimmedElement {
  std::string_view text;  // the element's own JSON text, inside the answer
  // As the full reading takes it: 0 when absent, empty when unusable (another type, out of range)
  // or when the element is not an object.
  std::optional<std::int64_t> createdAt;
};

struct SkimmedAnswer {
  SkimShape shape = SkimShape::kUnparsable;
  std::vector<SkimmedElement> elements;  // of the last "messages" member, when it is an array
};

// Accepts exactly what nlohmann::json::parse accepts without comments (strict grammar, valid UTF-8
// in strings, paired surrogate escapes, no number that overflows a double, an optional UTF-8
// byte-order mark in front) but for one thing: nlohmann stops reading at a zero byte, so it takes
// `{...}` followed by a zero byte and anything at all; here that is trailing text like any other.
// The elements point into `text`.
SkimmedAnswer SkimOutboundAnswer(std::string_view text);

}  // namespace palaverlink
