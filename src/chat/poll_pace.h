// When the next outbound poll goes out: at the timer's next tick, at once after a completion
// within four polls a second, or at once while a backlog drains within eighty a second.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chat/outbound_answer.h"

namespace palaverlink {

// Polls that bring no progress (an empty answer, old messages, one fresh notice) go at most this
// many in any second, whatever the bot answers.
inline constexpr std::size_t kPollsPerSecond = 4;

// Polls after a full completion of new messages go at most this many in a second of the pace
// timer. Each shows a full completion (ShownPerCompletion, chat/outbound_batch.h): with 70 players
// on the map 4 messages, so a backlog drains at up to 320 messages a second, 640 with up to 40
// players. A completion makes at most kDeliveriesPerCompletion deliveries, some 0.3 ms, so a drain
// holds some 2 to 3 % of the game thread.
inline constexpr std::size_t kDrainPollsPerSecond = 80;

enum class NextPoll {
  kAtTheTick,  // the poll timer's next tick
  kAtOnce,     // now, within kPollsPerSecond
  kDraining,   // now, within kDrainPollsPerSecond
};

// The rule: while an answer brings a full completion of new messages and leaves more (a backlog),
// the next poll drains it at once. Otherwise, with long poll on (wait_seconds > 0), the next poll
// goes at once after new messages or after the bot held the poll for at least half the wait, and
// within four a second. Anything else waits for the tick. So a bot that ignores the wait and
// answers at once is polled at the timer's pace; one that restamps a notice in every answer brings
// no full completion and gets four polls a second at most; and one that keeps answering the same
// old messages (ignoring since) moves no cursor, so it is not polled at once even when its answer
// is longer than one completion shows.
inline NextPoll NextPollAfter(const ShownAnswer& shown, std::int64_t held_ms, int wait_seconds) {
  if (shown.more && shown.cursorMoved) return NextPoll::kDraining;
  if (shown.more || wait_seconds <= 0) return NextPoll::kAtTheTick;
  const bool held_half = held_ms * 2 >= static_cast<std::int64_t>(wait_seconds) * 1000;
  return shown.cursorMoved || held_half ? NextPoll::kAtOnce : NextPoll::kAtTheTick;
}

// Counts the polls in the seconds of the poll's one-second timer. A poll at the tick or at once
// may go while the current second and the one before it hold fewer than kPollsPerSecond of them:
// any second of real time lies within two such seconds, so none sees more. A draining poll may go
// while the current second holds fewer than kDrainPollsPerSecond draining ones. Spacing polls
// 250 ms apart instead would need a finer clock than the host's timers, which tick in whole
// seconds: a poll held back waits for the next second anyway.
class PollPace {
 public:
  bool Allows(NextPoll poll) const {
    if (poll == NextPoll::kDraining) return drainedThisSecond_ < kDrainPollsPerSecond;
    return sentThisSecond_ + sentSecondBefore_ < kPollsPerSecond;
  }
  void Sent(NextPoll poll) {
    if (poll == NextPoll::kDraining) {
      ++drainedThisSecond_;
    } else {
      ++sentThisSecond_;
    }
  }
  void SecondPassed() {
    sentSecondBefore_ = sentThisSecond_;
    sentThisSecond_ = 0;
    drainedThisSecond_ = 0;
  }

 private:
  std::size_t sentThisSecond_ = 0;
  std::size_t sentSecondBefore_ = 0;
  std::size_t drainedThisSecond_ = 0;
};

}  // namespace palaverlink
