// Polling the bot for the messages of this map and showing them to the players.
#pragma once

#include <string>

namespace palaverlink {

// An outstanding poll older than this is counted as lost, so that polling never stops for good.
inline constexpr int kOutboundPollLostSeconds = 30;

// Sends one GET /api/chat/outbound?mapId=...&since=... unless the link is down, the map id is
// unknown, or the previous poll is still outstanding.
void PollOutbound();

// What the poll's completion does with an answer: parses it, moves OutboundCursor, shows each
// message. A malformed element is skipped (one warning per answer) and the elements after it are
// still shown.
void ShowOutboundAnswer(const std::string& answer_text);

}  // namespace palaverlink
