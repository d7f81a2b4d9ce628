// Polling the bot for the messages of this map: sends the poll, paces it, and hands each answer
// to ShowOutboundAnswer (chat/outbound_answer.h).
#pragma once

namespace palaverlink {

// The poll timer's tick: sends one GET /api/chat/outbound?mapId=...&since=... unless the link is
// down, the map id is unknown, the previous poll is still out (and not yet lost), or the pace
// allows no poll now.
void PollOutbound();

// Registers the poll timer ("outbound poll", every `poll_seconds`) and the pace's one-second timer
// ("outbound poll pace").
void StartOutboundPoll(int poll_seconds);

// No poll out, and a fresh pace.
void ResetOutboundPoll();

}  // namespace palaverlink
