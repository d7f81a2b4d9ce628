// The outbox (OutageBufferLines above 0): chat lines, leave notices and player lists go to the bot
// one at a time, in the order they happened, each with its idempotency key, so the bot never gets
// a player list older than a leave notice it gets after it, or the other way round.
//
// A line (chat line or leave notice) the bot did not confirm, for a reason that is not the line's
// own (no connection, a time-out, a reset, 401, 408, 429, a 5xx), stays first and goes again, with
// the same key, once the link is back: none is lost while the outbox has room, and a bot that drops
// repeats by key gets each one once and in order. A refusal (another 4xx) drops that line. A line
// whose fate stays unknown three times is given up with one warning, so that one the bot cannot
// take does not hold the rest back. A player list is never sent again: a newer one replaces it,
// also while it waits.
//
// Falling behind is said at once with the link up (at most one warning a minute of each kind): a
// line dropped because the outbox is full, and a line waiting longer than kLongestWaitMs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "core/warning_pace.h"
#include "link/post_json.h"

namespace palaverlink {

// Failures of unknown fate (the bot may have taken it) before a line is given up.
inline constexpr int kAttemptsBeforeGivingUp = 3;

// The bodies of the lines held, at most: with OutageBufferLines at its bound of 10000, a line
// averages 400 bytes before the oldest go, while a chat line of the game is some 200; a bot that
// is away cannot make the outbox hold the server's memory (10000 lines of 16 KiB were 265 MiB).
inline constexpr std::size_t kOutboxBodyBytes = 4 * 1024 * 1024;

// A line that waits longer than this with the link up shows that the bot takes lines more slowly
// than they are said: three of the host's 10 s time-outs, and later than a chat answer still reads
// as one.
inline constexpr std::int64_t kLongestWaitMs = 30'000;

struct OutboxPost {
  std::string key;  // the same on every attempt
  std::string path;
  std::string body;
  IfUndelivered ifUndelivered = IfUndelivered::kResend;  // kResend: a line; kDrop: a player list
  std::int64_t putInMs = 0;                              // the host's system clock
  int unknownFates = 0;  // attempts that ended without knowing whether the bot took it
  bool late = false;     // already counted as waiting longer than kLongestWaitMs
};

// The fates of the lines since the outbox last stood empty with the link up.
struct OutboxCounts {
  std::size_t delivered = 0;
  std::size_t refused = 0;
  std::size_t gaveUp = 0;
  std::size_t dropped = 0;  // the oldest waiting, when a new one found the outbox full
};

struct OutboxRecord {
  std::deque<OutboxPost> posts;  // oldest first; the first is on its way while `sending`
  bool sending = false;
  std::size_t lines = 0;      // posts that are lines
  std::size_t lineBytes = 0;  // their bodies
  OutboxCounts counts;
  // Since the outbox last stood empty: a line was held back by the link, dropped, given up or
  // late. The counts then go into one line once the outbox is empty again.
  bool troubled = false;
  std::int64_t linkBackMs = 0;  // the last reconnection: a line's wait counts from here at the earliest
  WarningPace fullPace;
  WarningPace latePace;
  // Lines given up and dropped since the load, never reset by a report.
  OutboxCounts sinceLoad;
};

OutboxRecord& Outbox();
void ResetOutbox();

// Puts a serialised body for `path` at the end of the outbox; it goes when all before it have gone.
// A player list (kDrop) takes the place of one still waiting, at the end.
void PostInOrder(std::string path, std::string body, IfUndelivered if_undelivered);

// Sends what waits, now that the link is back.
void ResumeOutbox();

// At unload: one warning with the number of lines that will never be sent, if there are any.
void ReportUnsentAtUnload();

}  // namespace palaverlink
