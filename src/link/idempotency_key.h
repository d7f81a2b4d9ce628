// The key that names one post for the bot, so that a bot can drop a repeat: the HTTP client's own
// resend after a reset, or the outbox's resend of a post whose fate was unknown. The request
// carries it as `Idempotency-Key: "<key>"` (link/request_form.h).
#pragma once

#include <cstdint>
#include <string>

namespace palaverlink {

// 16 hex digits drawn once per load, '-', and the post's number within the load: unique across
// maps, loads and server restarts without any state that outlives the load.
std::string NewIdempotencyKey();

// A fresh load prefix and numbering: called when the plug-in starts.
void ResetIdempotencyKeys();

}  // namespace palaverlink
