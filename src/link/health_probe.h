// The health probe: GET /health every kHealthProbeSeconds, whatever the link state. Its first
// success while the link is down brings the link back, and the outbox sends what waits.
#pragma once

#include <cstdint>

namespace palaverlink {

// The probe's period, and so the "retry every {}s" of both link-down warnings.
inline constexpr int kHealthProbeSeconds = 30;

// Sends one probe.
void SendHealthProbe();

// Registers the probe's recurring timer: one guarded entry, "health check".
void StartHealthProbe();

// When the probe timer next fires (milliseconds since 1970), from its last tick or its start.
std::int64_t NextProbeAtMs();

}  // namespace palaverlink
