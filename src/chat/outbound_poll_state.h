// The outbound poll's own state: the cursor, the poll that is out, its pace, and which warnings
// about answers are in a run. The host runs all of the plug-in's code one call at a time on the
// game thread, so nothing here has a lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "chat/poll_pace.h"

namespace palaverlink {

// Warnings written once per run of answers of that kind; an answer without the fault ends its run.
struct AnswerWarningRuns {
  bool unparsable = false;
  bool missingMessages = false;
  bool malformed = false;
  bool stale = false;
  bool dropped = false;
  bool tooLong = false;
};

struct OutboundPollRecord {
  // Milliseconds since 1970-01-01 00:00 UTC: the greatest createdAt shown (start-up time at first).
  std::int64_t cursor = 0;
  // At most one poll is out at a time: with a bot slower than the poll interval, two polls with the
  // same cursor would bring the same messages twice.
  bool outstanding = false;
  std::uint64_t sequence = 0;  // of the poll that is out
  int secondsOut = 0;          // seconds of the pace timer since it was sent
  // How long the bot held it tells a long poll from an at-once answer.
  std::chrono::steady_clock::time_point sentAt;
  PollPace pace;
  // A poll at once that a completion asked for and the pace held back: the pace timer sends it.
  std::optional<NextPoll> heldBack;
  bool paceTimerStarted = false;  // in this load
  AnswerWarningRuns warnings;
};

OutboundPollRecord& OutboundPollState();

// The outbound poll position.
std::int64_t& OutboundCursor();

// Back to load-time values.
void ResetOutboundPoll();

}  // namespace palaverlink
