// When the next outbound poll goes out: at the timer's next tick, or at once after a completion,
// never more than kPollsPerSecond in any second.
#pragma once

#include <cstddef>
#include <cstdint>

namespace palaverlink {

inline constexpr std::size_t kPollsPerSecond = 4;

// An outstanding poll older than this is counted as lost, so that polling never stops for good.
inline constexpr int kOutboundPollLostSeconds = 30;

// What showing one answer did.
struct ShownAnswer {
  bool cursorMoved = false;  // the answer brought messages newer than the cursor
  bool more = false;         // the answer held more than one completion shows
};

// At once when a backlog is being shown, and with long poll on (wait_seconds > 0) after new
// messages or after the bot held the poll for at least half the wait. A bot that ignores the wait
// and answers at once is thus polled at the timer's pace, never in a loop; and one that keeps
// answering the same old messages (ignoring since) moves no cursor, so it is never polled at once
// either, not even when its answer is longer than one batch.
inline bool PollAgainAtOnce(const ShownAnswer& shown, std::int64_t held_ms, int wait_seconds) {
  if (shown.more) return shown.cursorMoved;
  if (wait_seconds <= 0) return false;
  return shown.cursorMoved || held_ms * 2 >= static_cast<std::int64_t>(wait_seconds) * 1000;
}

// The polls sent in the current second and the one before it, the seconds counted by the poll's
// one-second timer: a poll may go while the two together are fewer than four. Any second of real
// time lies within two such seconds, so no second sees more than four polls, whatever the bot
// answers. Spacing polls 250 ms apart instead would need a finer clock than the host's timers,
// which tick in whole seconds: a poll held back would wait for the next tick anyway, and a backlog
// would drain one completion (8 messages) a second. This way it drains four completions at a
// time, every other second.
class PollPace {
 public:
  bool Allows() const { return sentThisSecond_ + sentSecondBefore_ < kPollsPerSecond; }
  void Sent() { ++sentThisSecond_; }
  void SecondPassed() {
    sentSecondBefore_ = sentThisSecond_;
    sentThisSecond_ = 0;
  }

 private:
  std::size_t sentThisSecond_ = 0;
  std::size_t sentSecondBefore_ = 0;
};

}  // namespace palaverlink
