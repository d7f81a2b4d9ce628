// The bot's clock against the server's. The cursor holds the bot's createdAt, but a load stamps it
// from the server's clock: a bot whose clock is behind and that honours `since` then has nothing
// newer to give until its own clock passes the stamp (an hour behind, an hour of nothing). An
// answer that names the bot's clock ("answeredAt") shows how far behind it is.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "chat/answer_walk.h"

namespace palaverlink {

// The cursor on the bot's clock, for a cursor that is still the load's stamp: moved back by as much
// as the bot's clock (`answered_at`) is behind the server's when the poll was sent, never below `floor` (the
// greatest createdAt taken, so nothing is shown twice). Empty when the bot is within kClockToleranceMs,
// ahead, or more than a day behind (a stamp in seconds, not a clock), so the cursor stays.
inline std::optional<std::int64_t> CursorOnBotClock(std::int64_t load_stamp, std::int64_t asked_at_ms,
                                                    std::int64_t answered_at, std::int64_t floor) {
  if (answered_at >= asked_at_ms || answered_at < asked_at_ms - kFarthestCreatedAtAheadMs)
    return std::nullopt;
  const std::int64_t behind = asked_at_ms - answered_at;
  if (behind <= kClockToleranceMs) return std::nullopt;
  return std::max(floor, load_stamp - behind);
}

}  // namespace palaverlink
