#include "core/plugin_state.h"

namespace palaverlink {

PluginState& State() {
  static PluginState state;
  return state;
}

void ResetLinkAndPollState() { State() = PluginState{}; }

std::int64_t& OutboundCursor() { return State().outboundCursor; }

}  // namespace palaverlink
