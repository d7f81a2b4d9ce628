// The outage buffer (OutageBufferLines above 0): chat lines, leave notices and player lists go to the bot
// one at a time, in the order they happened, each with its idempotency key, so the bot never gets
// a player list older than a leave notice it gets after it, or the other way round.
//
// A line (chat line or leave notice) the bot did not confirm, for a reason that is not the line's
// own (no connection, a time-out, a reset, 401, 408, 429, a 5xx), stays first and goes again, with
// the same key, once the link is back: none is lost while the buffer has room, and a bot that drops
// repeats by key gets each one once and in order. A refusal (another 4xx) drops that line. A line
// whose fate stays unknown three times is given up with one warning, so that one the bot cannot
// take does not hold the rest back. A player list is never sent again: a newer one replaces it,
// also while it waits.
//
// Falling behind is said at once with the link up (at most one warning a minute of each kind): a
// line dropped because the buffer is full, and a line waiting longer than kLongestWaitMs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/post_json.h"

namespace palaverlink {

// Failures of unknown fate (the bot may have taken it) before a line is given up.
inline constexpr int kAttemptsBeforeGivingUp = 3;

// The bodies of the lines held, at most: with OutageBufferLines at its bound of 10000, a line
// averages 400 bytes before the oldest go, while a chat line of the game is some 200; a bot that
// is away cannot make the buffer hold the server's memory (10000 lines of 16 KiB were 265 MiB).
inline constexpr std::size_t kOutageBufferBodyBytes = 4 * 1024 * 1024;

// A line that waits longer than this with the link up shows that the bot takes lines more slowly
// than they are said: three of the host's 10 s time-outs, and later than a chat answer still reads
// as one.
inline constexpr std::int64_t kLongestWaitMs = 30'000;

void ResetOutageBuffer();

// Puts a serialised body for `path` at the end of the buffer; it goes when all before it have gone.
// A player list (kDrop) takes the place of one still waiting, at the end.
void PostInOrder(std::string path, std::string body, IfUndelivered if_undelivered);

// Sends what waits, now that the link is back.
void ResumeOutageBuffer();

// At unload: one warning with the number of lines that will never be sent, if there are any.
void ReportUnsentAtUnload();

// What the status reply shows.
struct OutageBufferSummary {
  std::size_t lines = 0;                      // waiting (player lists aside)
  std::size_t lineBytes = 0;                  // their bodies
  std::optional<std::int64_t> oldestPutInMs;  // of the first post waiting; empty when none waits
  std::size_t gaveUpSinceLoad = 0;
  std::size_t droppedSinceLoad = 0;  // the oldest waiting, when a new one found the buffer full
};
OutageBufferSummary SummariseOutageBuffer();

// The oldest post's wait, and the last reconnection, as if `ms` earlier: for tests, which cannot
// move the system clock the waits are measured on.
void BackdateOldestWait(std::int64_t ms);

}  // namespace palaverlink
