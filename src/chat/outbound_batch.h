// Which of an answer's timed messages one completion shows. A backlog (thousands of messages after
// an outage) would otherwise be shown in one game tick; the rest of it comes with the next polls,
// which ask from the cursor that the shown messages leave behind.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace palaverlink {

// All one completion shows, timed or not, with few players on the map.
inline constexpr std::size_t kShownPerCompletion = 8;

// A message shown to one player costs the game thread some 1 µs (the copies of the two texts and
// the game's own delivery; see bench/results.md). One completion makes at most this many such
// deliveries, so that with the scan of a 1 MiB answer it stays well within 1 ms whatever the number
// of players: 8 messages up to 40 players, 4 at 70.
inline constexpr std::size_t kDeliveriesPerCompletion = 320;

// How many messages one completion shows to `players` players: never none, so that a backlog
// always moves on.
constexpr std::size_t ShownPerCompletion(std::size_t players) {
  if (players == 0) return kShownPerCompletion;
  return std::clamp<std::size_t>(kDeliveriesPerCompletion / players, 1, kShownPerCompletion);
}

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

// Takes the elements with the smallest times, at most `room` of them, so that every element left
// has a time above the cursor the taken ones leave, and the next poll (since = that cursor) brings
// it again. A run of equal times is never split: the cut moves before it. When the first run alone
// is longer than `room`, no later poll could bring what of it is left: it is taken whole up to
// `limit`, and the rest of it is dropped. Fed one element at a time in the answer's order, it keeps
// only `limit + 1` of them: memory and time stay bounded whatever the answer holds.
class OutboundBatchChooser {
 public:
  explicit OutboundBatchChooser(std::size_t limit);

  void Offer(const TimedElement& element);
  // `room` is at most the limit.
  OutboundBatch Choose(std::size_t room) const;

 private:
  std::size_t limit_;
  std::vector<TimedElement> earliest_;  // the limit + 1 earliest so far, by time then answer order
  std::size_t offered_ = 0;
  std::size_t at_least_time_ = 0;  // how many were offered with the least time
};

}  // namespace palaverlink
