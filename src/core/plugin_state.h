// Process-wide state that belongs to the start-up sequence.
#pragma once

#include <cstdint>

namespace palaverlink {

// The outbound poll position: milliseconds since 1970-01-01 00:00 UTC. 0 until start-up.
std::int64_t& OutboundCursor();

}  // namespace palaverlink
