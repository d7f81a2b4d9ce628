#include "link/health_probe.h"

#include "core/guard.h"
#include "core/host/host_api.h"
#include "link/bot_request.h"
#include "link/outbox.h"

namespace palaverlink {

void HealthCheck() {
  BotRequest probe;
  probe.method = HttpMethod::kGet;
  probe.path = "/health";
  probe.role = LinkRole::kProbe;
  SendToBot(probe, [](const RequestOutcome&, const std::string&, LinkChange change) {
    if (change == LinkChange::kCameBack) ResumeOutbox();
  });
}

void StartHealthProbe() {
  host::RegisterRecurringTimer([] { RunGuarded("health check", [] { HealthCheck(); }); }, HealthCheckSeconds);
}

}  // namespace palaverlink
