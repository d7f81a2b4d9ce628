// Where the outbound poll stands: the cursor, what was shown, when the last poll went, which
// warnings about answers are in a run, and the counts since the load. Only the operations below
// change it. The host runs all of the plug-in's code one call at a time on the game thread, so
// nothing here has a lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "chat/shown_memory.h"

namespace palaverlink {

// The faults of an answer that are warned of once per run of answers with that fault.
enum class AnswerFault {
  kUnparsable,
  kMissingMessages,
  kMalformed,
  kStale,
  kDropped,
  kTooLong,
  kBrokenText,
  kControls,
  kWithoutTime,
  kFarAhead,
  kClockAhead,
};

// Since the load.
struct OutboundCounts {
  std::size_t polls = 0;    // sent
  std::size_t shown = 0;    // messages shown to the players
  std::size_t skipped = 0;  // messages not shown for a fault of their own: malformed, too long, unordered
  std::size_t mended = 0;   // messages shown with text that was not UTF-8 mended
};

// The poll's `since`, in milliseconds since 1970-01-01 00:00 UTC: the greatest createdAt shown (the
// load's time at first).
std::int64_t OutboundCursor();
// The greatest createdAt taken, on the bot's clock.
std::int64_t GreatestCreatedAt();
// Still the load's stamp, from the server's clock: no createdAt has moved the cursor in this load.
bool CursorIsLoadStamp();
// The messages without a usable createdAt shown lately, which cannot move the cursor.
const ShownMemory& ShownWithoutTime();
// How long ago the last poll was sent: how long the bot held it, once it is answered.
std::int64_t LastPollSentMsAgo();
OutboundCounts OutboundCountsSinceLoad();

// At a load: the cursor becomes the server's time, or stays where an earlier load of this process
// left it when that is later, so nothing is shown twice.
void StampOutboundCursor(std::int64_t now_ms);
// The cursor at `ms`, wherever it stood (a benchmark that answers the same messages again).
void SetOutboundCursor(std::int64_t ms);

// A poll went out now.
void NotePollSent();
// An answer took a message created at `created_at`: the cursor moves up to it.
void TakeCreatedAt(std::int64_t created_at);
// The load's stamp moves onto the bot's clock (chat/bot_clock.h).
void PutCursorOnBotClock(std::int64_t cursor);
// A message without a usable createdAt was shown: the bot sends it again at every poll.
void RememberShownWithoutTime(std::string_view element);
// What one answer showed, skipped, and showed mended.
void CountAnswer(std::size_t shown, std::size_t skipped, std::size_t mended);
// Whether the answer begins a run of `fault`: it has the fault and the answer before did not. An
// answer without the fault ends its run.
bool BeginsRun(AnswerFault fault, bool present);

// Back to load-time values; what was shown (the cursor among it) is kept.
void ResetOutboundPollState();

}  // namespace palaverlink
