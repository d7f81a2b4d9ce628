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

#include "chat/outbound_batch.h"
#include "chat/shown_memory.h"

namespace palaverlink {

// A createdAt more than this ahead of the server's clock never becomes the cursor: no later message
// could follow it. A day is beyond any clock a bot keeps (a stamp in local time instead of UTC is at
// most 14 h off) and far below what a stamp in microseconds gives (a thousand times the time).
inline constexpr std::int64_t kFarthestCreatedAtAheadMs = 24LL * 60 * 60 * 1000;
// A stamp more than this ahead when it arrives says that the bot's clock and the server's disagree:
// a message cannot be made after it is fetched.
inline constexpr std::int64_t kClockToleranceMs = 5'000;

// Elements the plug-in cannot order by time (no createdAt, an unusable one, one too far ahead, not
// an object) that one completion takes; beyond them such elements are dropped. Those it shows share
// the completion's bound (WalkStart::shownLimit) with the timed ones, which go first; those
// shown once are remembered (chat/shown_memory.h) and not taken again.
inline constexpr std::size_t kUnorderedPerCompletion = 8;

enum class AnswerShape { kMessages, kUnparsable, kMissingMessages };

struct ChosenElement {
  std::string_view text;                  // the element's JSON text, inside the answer
  std::optional<std::int64_t> createdAt;  // empty: none that can become the cursor
};

struct WalkedAnswer {
  AnswerShape shape = AnswerShape::kUnparsable;
  // What the completion reads in full, in the answer's order, at most WalkStart::shownLimit (only a
  // run of equal times goes past it, up to kShownPerCompletion): the earliest timed elements after
  // the cursor, and the first elements without a time it can follow in the room they leave.
  std::vector<ChosenElement> chosen;
  std::size_t withoutTime = 0;     // taken objects without createdAt
  std::size_t farAhead = 0;        // taken with a createdAt beyond kFarthestCreatedAtAheadMs
  std::int64_t farthestAhead = 0;  // the greatest such createdAt
  std::int64_t aheadMs = 0;        // how far the latest timed createdAt is ahead of the server's clock
  std::size_t repeated = 0;        // not taken: remembered as taken before
  std::optional<std::int64_t> answeredAt;  // the bot's clock, when the answer names it
  std::size_t malformed = 0;  // taken elements that hold no message: not objects, unusable createdAt
  std::size_t stale = 0;      // createdAt present and not after the cursor: shown already, or too old
  std::size_t dropped = 0;    // beyond the bounds on elements the plug-in cannot order
  bool more = false;          // timed elements left for the next poll
};

// "createdAt" as whole milliseconds, a fraction dropped; empty for anything but a number and for
// numbers no 64-bit time holds. `value` is the JSON text of a value the scan found well formed.
std::optional<std::int64_t> ReadCreatedAt(std::string_view value);

// Where the walk stands: the cursor, the server's clock, what was taken before, and how many
// messages the completion shows (ShownPerCompletion, chat/outbound_batch.h).
struct WalkStart {
  std::int64_t cursor = 0;
  std::int64_t nowMs = 0;
  const ShownMemory& shown;
  std::size_t shownLimit = kShownPerCompletion;
};

// The chosen elements point into `text`. The last "messages" member counts, as in a full parse.
WalkedAnswer WalkOutboundAnswer(std::string_view text, const WalkStart& start);

}  // namespace palaverlink
