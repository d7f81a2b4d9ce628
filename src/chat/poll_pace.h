// When the next outbound poll goes out: at the timer's next tick, or at once after a completion.
#pragma once

#include <cstdint>

namespace palaverlink {

struct PollOutcome {
  bool cursorMoved = false;  // the answer brought messages newer than the cursor
  bool more = false;         // the answer held more than one completion shows
};

// At once when a backlog is being shown, and with long poll on (wait_seconds > 0) after new
// messages or after the bot held the poll for at least half the wait. A bot that ignores the wait
// and answers at once is thus polled at the timer's pace, never in a loop; and one that keeps
// answering the same old messages (ignoring since) moves no cursor, so it is never polled at once
// either, not even when its answer is longer than one batch.
inline bool PollAgainAtOnce(const PollOutcome& outcome, std::int64_t held_ms, int wait_seconds) {
  if (outcome.more) return outcome.cursorMoved;
  if (wait_seconds <= 0) return false;
  return outcome.cursorMoved || held_ms * 2 >= static_cast<std::int64_t>(wait_seconds) * 1000;
}

}  // namespace palaverlink
