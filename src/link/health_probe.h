// The health probe: GET /health every HealthCheckSeconds, whatever the link state. Its first
// success while the link is down brings the link back, and the outbox sends what waits.
#pragma once

namespace palaverlink {

// Sends one probe.
void HealthCheck();

// Registers the probe's recurring timer: one guarded entry, "health check".
void StartHealthProbe();

}  // namespace palaverlink
