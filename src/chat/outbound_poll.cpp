#include "chat/outbound_poll.h"

namespace palaverlink {

void PollOutbound() {}

void HandleOutboundResponse(bool, const std::string&) {}

}  // namespace palaverlink
