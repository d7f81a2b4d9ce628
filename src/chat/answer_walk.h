// The walk over an outbound answer: checks the whole text as strict JSON, and decides on the way
// which elements of "messages" one completion reads in full, from their createdAt alone. Its work
// per element is a few comparisons and it keeps a bounded number of them, so a completion costs
// the scan of the text plus the few messages it shows, whatever the answer holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace palaverlink {

// Elements the plug-in cannot order by time (no createdAt, an unusable one, not an object) that
// one completion takes; beyond them such elements are dropped. Those it shows share the bound of
// kShownPerCompletion (chat/outbound_batch.h) with the timed ones, which go first.
inline constexpr std::size_t kUnorderedPerCompletion = 8;

enum class AnswerShape { kMessages, kUnparsable, kMissingMessages };

struct ChosenElement {
  std::string_view text;                  // the element's JSON text, inside the answer
  std::optional<std::int64_t> createdAt;  // empty: the element has none
};

struct WalkedAnswer {
  AnswerShape shape = AnswerShape::kUnparsable;
  // What the completion reads in full, in the answer's order, at most kShownPerCompletion: the
  // earliest timed elements after the cursor, and the first elements without createdAt in the room
  // they leave.
  std::vector<ChosenElement> chosen;
  std::size_t malformed = 0;  // taken elements that hold no message: not objects, unusable createdAt
  std::size_t stale = 0;      // createdAt present and not after the cursor: shown already, or too old
  std::size_t dropped = 0;    // beyond the bounds on elements the plug-in cannot order
  bool more = false;          // timed elements left for the next poll
};

// "createdAt" as whole milliseconds, a fraction dropped; empty for anything but a number and for
// numbers no 64-bit time holds. `value` is the JSON text of a value the scan found well formed.
std::optional<std::int64_t> ReadCreatedAt(std::string_view value);

// The chosen elements point into `text`. The last "messages" member counts, as in a full parse.
WalkedAnswer WalkOutboundAnswer(std::string_view text, std::int64_t cursor);

}  // namespace palaverlink
