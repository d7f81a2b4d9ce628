// Whether the bot is reachable, and what each outcome of a request does to that: a lost link or a
// rejected key takes the link down with one warning; a refusal of one request leaves it up, with at
// most one warning a minute for each request and status (a player can make the bot refuse their
// lines); a
// successful health probe brings it back.
// This holds state and reports the transitions to its caller; it never calls a sender.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "core/warning_pace.h"
#include "link/bot_endpoints.h"
#include "link/request_outcome.h"

namespace palaverlink {

// The health probe's period, and so the "retry every {}s" of both link-down warnings.
inline constexpr int HealthCheckSeconds = 30;

std::string Describe(const Endpoint& endpoint);

struct LinkStateData {
  // Set by a lost link or a rejected key, cleared by a successful health probe.
  bool bridgeDown = false;
  // The refusals of each request and status ("POST /api/chat/inbound 422"), for their warnings.
  std::map<std::string, WarningPace, std::less<>> refusals;
  // When the link last went down or came back, or the load began (milliseconds since 1970).
  std::int64_t changedAtMs = 0;
  // Why it went down: the request and the host's text, as received (escape it before showing it).
  std::string downBecause;
  // Since the load: the refusals, and when each request (by Describe) last succeeded.
  std::size_t refused = 0;
  std::map<std::string, std::int64_t, std::less<>> lastSuccessMs;
};

LinkStateData& LinkState();
void ResetLinkState();

enum class LinkChange { kNone, kWentDown, kCameBack };

// The link's reaction to the outcome of a gated request (and the Debug line of an accepted POST).
LinkChange NoteOutcome(const Endpoint& endpoint, const RequestOutcome& outcome, std::string_view text);

// The link's reaction to the outcome of a health probe.
LinkChange NoteProbeOutcome(const RequestOutcome& outcome);

}  // namespace palaverlink
