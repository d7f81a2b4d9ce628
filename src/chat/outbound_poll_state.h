// The outbound poll's own state: the cursor, the poll that is out, its pace, and which warnings
// about answers are in a run. The host runs all of the plug-in's code one call at a time on the
// game thread, so nothing here has a lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "chat/poll_pace.h"
#include "chat/shown_memory.h"

namespace palaverlink {

// Warnings written once per run of answers of that kind; an answer without the fault ends its run.
struct AnswerWarningRuns {
  bool unparsable = false;
  bool missingMessages = false;
  bool malformed = false;
  bool stale = false;
  bool dropped = false;
  bool tooLong = false;
  bool brokenText = false;
  bool controls = false;
  bool withoutTime = false;
  bool farAhead = false;
  bool clockAhead = false;
};

// What a reload in the same process keeps: the cursor never moves back, so nothing is shown twice.
struct ShownSoFar {
  // Milliseconds since 1970-01-01 00:00 UTC: the greatest createdAt shown (the load's time at first).
  std::int64_t cursor = 0;
  std::int64_t greatestCreatedAt = 0;  // the greatest createdAt taken, on the bot's clock
  ShownMemory unordered;
};

// Since the load.
struct OutboundCounts {
  std::size_t polls = 0;    // sent
  std::size_t shown = 0;    // messages shown to the players
  std::size_t skipped = 0;  // messages not shown for a fault of their own: malformed, too long, unordered
  std::size_t mended = 0;   // messages shown with text that was not UTF-8 mended
};

struct OutboundPollRecord {
  // Still the load's stamp, from the server's clock: no createdAt has moved the cursor in this load.
  bool cursorIsLoadStamp = true;
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
  OutboundCounts counts;
};

OutboundPollRecord& OutboundPollState();

ShownSoFar& OutboundShownSoFar();

// The outbound poll position.
std::int64_t& OutboundCursor();

// At a load: the cursor becomes the server's time, or stays where an earlier load of this process
// left it when that is later.
void StampOutboundCursor(std::int64_t now_ms);

// Back to load-time values; what was shown is kept.
void ResetOutboundPoll();

}  // namespace palaverlink
