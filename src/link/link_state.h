// Whether the bot is reachable, and what each outcome of a request does to that: a lost link or a
// rejected key takes the link down with one warning; a refusal of one request leaves it up with
// one warning per run of refusals of that request; a successful health probe brings it back.
#pragma once

#include <string>
#include <string_view>

#include "core/plugin_state.h"
#include "link/request_outcome.h"

namespace palaverlink {

inline constexpr int HealthCheckSeconds = 30;

LinkStateData& LinkState();

// True while the link is down: gated requests are dropped unsent, so a sender may skip preparing one.
inline bool LinkDown() { return LinkState().bridgeDown; }

// Takes the link down with one warning (the key warning for kKeyRejected); nothing when it is down
// already. `operation` is method, blank, path ("POST /api/chat/inbound").
void MarkLinkDown(std::string_view operation, RequestResult result, std::string_view failure_text);

// The link's reaction to the outcome of a gated request (and the Debug line of an accepted POST).
void NoteOutcome(std::string_view operation, const RequestOutcome& outcome, std::string_view text);

// The link's reaction to the outcome of a health probe.
void NoteProbeOutcome(const RequestOutcome& outcome);

// Sends one GET /health, whatever the link state.
void HealthCheck();

}  // namespace palaverlink
