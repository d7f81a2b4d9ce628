// Which of an answer's timed messages one completion shows. A backlog (thousands of messages after
// an outage) would otherwise be shown in one game tick; the rest of it comes with the next polls,
// which ask from the cursor that the shown messages leave behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace palaverlink {

// All one completion shows, timed or not. One message to 70 players costs some 40 to 70 µs of
// game-thread time: this many, with the scan of a 1 MiB answer, keep a completion within 1 ms
// (see bench/results.md).
inline constexpr std::size_t kShownPerCompletion = 8;

// An element of the answer with a createdAt after the cursor.
struct TimedElement {
  std::int64_t createdAt = 0;
  std::size_t index = 0;  // its place in the answer
  std::string_view text;  // its JSON text, inside the answer
};

struct OutboundBatch {
  std::vector<TimedElement> now;  // to read and show now, in the answer's order
  std::size_t dropped = 0;        // a run of one time longer than the limit: its tail, never shown
  bool more = false;              // elements were left for the next poll
};

// Takes the elements with the smallest times, at most `limit` of them, so that every element left
// has a time above the cursor the taken ones leave, and the next poll (since = that cursor) brings
// it again. A run of equal times is never split: the cut moves before it. When the first run alone
// is longer than `limit`, its first `limit` elements are taken and the rest of it is dropped: no
// later poll could bring them. Fed one element at a time in the answer's order, it keeps only
// `limit + 1` of them: memory and time stay bounded whatever the answer holds.
class OutboundBatchChooser {
 public:
  explicit OutboundBatchChooser(std::size_t limit);

  void Offer(const TimedElement& element);
  OutboundBatch Choose() const;

 private:
  std::size_t limit_;
  std::vector<TimedElement> earliest_;  // the limit + 1 earliest so far, by time then answer order
  std::size_t offered_ = 0;
  std::size_t at_least_time_ = 0;  // how many were offered with the least time
};

}  // namespace palaverlink
