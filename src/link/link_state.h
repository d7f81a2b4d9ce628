// Whether the bot is reachable, and what each outcome of a request does to that: a lost link or a
// rejected key takes the link down with one warning; a refusal of one request leaves it up, with at
// most one warning a minute for each request and status (a player can make the bot refuse their
// lines); a
// successful health probe brings it back.
// This holds state and reports the transitions to its caller; it never calls a sender.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/bot_endpoints.h"
#include "link/request_outcome.h"

namespace palaverlink {


std::string Describe(const Endpoint& endpoint);

// Down since a lost link or a rejected key, up again from a successful health probe on.
bool LinkIsDown();
// When the link last went down or came back, or the load began (milliseconds since 1970).
std::int64_t LinkChangedAtMs();
// Why it went down: the request and the host's text, as received (escape it before showing it).
const std::string& LinkDownBecause();
// The refusals since the load.
std::size_t RefusedSinceLoad();
// When the request (as Describe names it) last succeeded in this load, if it did.
std::optional<std::int64_t> LastSuccessMs(std::string_view request);

void ResetLinkState();

enum class LinkChange { kNone, kWentDown, kCameBack };

// The link's reaction to the outcome of a gated request (and the Debug line of an accepted POST).
LinkChange NoteOutcome(const Endpoint& endpoint, const RequestOutcome& outcome, std::string_view text);

// The link's reaction to the outcome of a health probe.
LinkChange NoteProbeOutcome(const RequestOutcome& outcome);

}  // namespace palaverlink
