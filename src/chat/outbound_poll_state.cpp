#include "chat/outbound_poll_state.h"

#include <algorithm>

namespace palaverlink {

OutboundPollRecord& OutboundPollState() {
  static auto* const record = new OutboundPollRecord();  // never destroyed: see core/guard.cpp
  return *record;
}

ShownSoFar& OutboundShownSoFar() {
  static auto* const shown = new ShownSoFar();  // never destroyed: see core/guard.cpp
  return *shown;
}

std::int64_t& OutboundCursor() { return OutboundShownSoFar().cursor; }

void StampOutboundCursor(std::int64_t now_ms) { OutboundCursor() = std::max(OutboundCursor(), now_ms); }

void ResetOutboundPoll() { OutboundPollState() = OutboundPollRecord{}; }

}  // namespace palaverlink
