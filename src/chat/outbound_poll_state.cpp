#include "chat/outbound_poll_state.h"

namespace palaverlink {

OutboundPollRecord& OutboundPollState() {
  static OutboundPollRecord record;
  return record;
}

std::int64_t& OutboundCursor() { return OutboundPollState().cursor; }

void ResetOutboundPoll() { OutboundPollState() = OutboundPollRecord{}; }

}  // namespace palaverlink
