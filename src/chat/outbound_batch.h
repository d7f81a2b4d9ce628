// Which of an answer's messages one completion shows. A backlog (thousands of messages after an
// outage) would otherwise be shown in one game tick; the rest of it comes with the next polls,
// which ask from the cursor that the shown messages leave behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace palaverlink {

// One message to 70 players costs some 50 to 90 µs of game-thread time and the skim of a
// 5,000-message answer about 0.5 ms: this many keep a completion under 2 ms with room to spare on
// a busy machine (see bench/results.md).
inline constexpr std::size_t kShownPerCompletion = 8;

struct OutboundBatch {
  std::vector<std::size_t> now;  // the elements to read and show now, in the answer's order
  bool more = false;             // elements were left for the next poll
};

// `createdAt` per element (empty: unusable, such an element is never shown and always taken).
// Takes the elements with the smallest times, at most `limit` of them, so that every element left
// has a time above the cursor the taken ones leave, and the next poll (since = that cursor) brings
// it again. A run of equal times is never split: the cut moves before it, or, when the run alone
// is longer than `limit`, after it.
OutboundBatch ChooseOutboundBatch(const std::vector<std::optional<std::int64_t>>& createdAt,
                                  std::int64_t cursor, std::size_t limit);

}  // namespace palaverlink
