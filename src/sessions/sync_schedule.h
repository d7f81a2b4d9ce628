// When the player list goes to the bot besides its interval: as soon as there is a map after
// start-up, and within about two seconds of a join, one list for a burst of joins, and never a
// second while one is out (a list built before the first was answered would not be newer).
#pragma once

#include <cstdint>

namespace palaverlink {

// A sync out this long (seconds of the one-second tick) is counted as lost, so that syncing never
// waits for good on an answer that never comes.
inline constexpr int kSyncLostSeconds = 30;

class SyncSchedule {
 public:
  // A sync is wanted as soon as none is out: after a join, or at the interval while one is out.
  void Ask() { asked_ = true; }
  bool Asked() const { return asked_; }
  bool Out() const { return out_; }

  // The number the answer of the next sync sent is to be told with.
  std::uint64_t NextSequence() const { return sequence_ + 1; }
  // That sync went out.
  void Sent() {
    asked_ = false;
    out_ = true;
    secondsOut_ = 0;
    ++sequence_;
  }
  // A sync ran without anything going out (the link is down): the wish is met.
  void RanWithoutRequest() { asked_ = false; }
  // The answer of sync `sequence`; that of one given up as lost changes nothing.
  void Answered(std::uint64_t sequence) {
    if (sequence == sequence_) out_ = false;
  }
  void SecondPassed() {
    if (out_ && ++secondsOut_ > kSyncLostSeconds) out_ = false;
  }

 private:
  bool asked_ = true;  // from start-up: the first list goes once the map is known
  bool out_ = false;
  int secondsOut_ = 0;
  std::uint64_t sequence_ = 0;
};

}  // namespace palaverlink
