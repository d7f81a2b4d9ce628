// The one way to push a JSON body to the bot.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <string>

#include "link/bot_endpoints.h"

namespace palaverlink {

// What the caller wants done with a post that the bot did not confirm.
enum class IfUndelivered {
  kDrop,    // the next one replaces it (the session sync), also while it waits in the outbox
  kResend,  // kept and sent again by the outbox (chat lines, leave notices)
};

// POSTs `body` (serialised once, compactly, keys in ascending byte order, raw UTF-8) to the bot's
// `endpoint` (one of link/bot_endpoints.h) with a fresh idempotency key and returns at once. With the outbox
// on (OutageBufferLines above 0) it goes through the outage buffer, behind every post made before it
// (link/outage_buffer.h); otherwise it is sent at once, or dropped while the link is down (with a Debug line). A
// body that is not valid UTF-8 throws nlohmann::json::type_error and nothing is sent. True when the post went
// out itself: then `on_answered`, if given, runs once in its completion (whatever the outcome), unless the
// load ends first; false when it was dropped, or kept by the outage buffer (which keeps at most one player list
// waiting).
bool PostJson(const Endpoint& endpoint, const nlohmann::json& body, IfUndelivered if_undelivered,
              std::function<void()> on_answered = nullptr);

// Lines (kResend) dropped at the link-down gate since the load (the outbox off).
std::size_t DroppedWhileDown();
void ResetDroppedWhileDown();

}  // namespace palaverlink
