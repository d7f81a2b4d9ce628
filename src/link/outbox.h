// The outbox (OutageBufferLines above 0): chat lines and leave notices go to the bot one at a time,
// in the order they were said, each with its idempotency key. A post the bot did not confirm, for
// a reason that is not the post's own (no connection, a time-out, a reset, 401, 408, 429, a 5xx),
// stays first and goes again, with the same key, once the link is back: none is lost while the
// outbox has room, and a bot that drops repeats by key gets each one once and in order. A refusal
// (another 4xx) drops that post. A post whose fate stays unknown three times is given up with one
// warning, so that one the bot cannot take does not hold the rest back.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace palaverlink {

// Failures of unknown fate (the bot may have taken it) before a post is given up.
inline constexpr int kAttemptsBeforeGivingUp = 3;

struct OutboxPost {
  std::string key;  // the same on every attempt
  std::string path;
  std::string body;
  int unknownFates = 0;  // attempts that ended without knowing whether the bot took it
};

struct OutboxCounts {
  std::size_t delivered = 0;
  std::size_t refused = 0;
  std::size_t gaveUp = 0;
  std::size_t dropped = 0;  // the oldest, when a new post found the outbox full
};

struct OutboxRecord {
  std::deque<OutboxPost> posts;  // oldest first; the first is on its way while `sending`
  bool sending = false;
  // Since the link went down with posts to send: the counts go into one line once all are sent.
  bool recovering = false;
  OutboxCounts counts;
};

OutboxRecord& Outbox();
void ResetOutbox();

// Puts a serialised body for `path` at the end of the outbox; it goes when all before it have gone.
void PostInOrder(std::string path, std::string body);

// Sends what waits, now that the link is back.
void ResumeOutbox();

// At unload: one warning with the number of posts that will never be sent, if there are any.
void ReportUnsentAtUnload();

}  // namespace palaverlink
