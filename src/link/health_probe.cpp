#include "link/health_probe.h"

#include "core/guard.h"
#include "core/host/host_api.h"
#include "link/bot_request.h"
#include "link/outbox.h"

namespace palaverlink {
namespace {

// The probe timer's last tick, or its start.
std::int64_t& LastProbeTickMs() {
  static std::int64_t last = 0;
  return last;
}

}  // namespace

void HealthCheck() {
  LastProbeTickMs() = host::SystemTimeMs();
  BotRequest probe;
  probe.endpoint = endpoints::kHealth;
  probe.role = LinkRole::kProbe;
  SendToBot(probe, [](const RequestOutcome&, const std::string&, LinkChange change) {
    if (change == LinkChange::kCameBack) ResumeOutbox();
  });
}

void StartHealthProbe() {
  LastProbeTickMs() = host::SystemTimeMs();
  host::RegisterRecurringTimer([] { RunGuarded("health check", [] { HealthCheck(); }); }, HealthCheckSeconds);
}

std::int64_t NextProbeAtMs() { return LastProbeTickMs() + std::int64_t{HealthCheckSeconds} * 1000; }

}  // namespace palaverlink
