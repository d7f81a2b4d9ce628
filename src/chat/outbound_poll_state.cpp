#include "chat/outbound_poll_state.h"

namespace palaverlink {

OutboundPollRecord& OutboundPollState() {
  static auto* const record = new OutboundPollRecord();  // never destroyed: see core/guard.cpp
  return *record;
}

std::int64_t& OutboundCursor() { return OutboundPollState().cursor; }

void ResetOutboundPoll() { OutboundPollState() = OutboundPollRecord{}; }

}  // namespace palaverlink
