#include "core/plugin_state.h"

#include "link/idempotency_key.h"
#include "link/link_state.h"
#include "link/outbox.h"

namespace palaverlink {

PluginState& State() {
  static PluginState state;
  return state;
}

void ResetPluginState() {
  State() = PluginState{};
  ResetLinkState();
  ResetOutbox();
  ResetIdempotencyKeys();
}

std::int64_t& OutboundCursor() { return State().outboundCursor; }

}  // namespace palaverlink
