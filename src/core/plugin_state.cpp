#include "core/plugin_state.h"

#include "chat/outbound_poll_state.h"

namespace palaverlink {

PluginState& State() {
  static PluginState state;
  return state;
}

void ResetPluginState() {
  State() = PluginState{};
  ResetOutboundPoll();
}

}  // namespace palaverlink
