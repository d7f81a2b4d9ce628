// Polling the bot for the messages of this map and showing them to the players.
#pragma once

#include <cstdint>
#include <string>

namespace palaverlink {

// An outstanding poll older than this is counted as lost, so that polling never stops for good.
inline constexpr int kOutboundPollLostSeconds = 30;

// Sends one GET /api/chat/outbound?mapId=...&since=... unless the link is down, the map id is
// unknown, or the previous poll is still outstanding.
void PollOutbound();

// The poll's completion: parses the answer, moves OutboundCursor, shows its messages (a bounded
// batch of a backlog). A malformed element is skipped (one warning per answer) and the elements
// after it are still shown. Sends the next poll at once when PollAgainAtOnce says so; `held_ms` is
// how long the bot took to answer.
void HandleOutboundResponse(bool success, const std::string& response_text, std::int64_t held_ms = 0);

}  // namespace palaverlink
