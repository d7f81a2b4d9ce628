#include "link/health_probe.h"

#include "core/guard.h"
#include "core/host/host_api.h"
#include "link/bot_request.h"
#include "link/outage_buffer.h"

namespace palaverlink {
namespace {

// The probe timer's last tick, or its start.
std::int64_t& LastProbeTickMs() {
  static std::int64_t last = 0;
  return last;
}

}  // namespace

void SendHealthProbe() {
  LastProbeTickMs() = host::SystemTimeMs();
  BotRequest probe;
  probe.endpoint = endpoints::kHealth;
  probe.role = LinkRole::kProbe;
  SendToBot(probe, [](const RequestOutcome&, const std::string&, LinkChange change) {
    if (change == LinkChange::kCameBack) ResumeOutageBuffer();
  });
}

void StartHealthProbe() {
  LastProbeTickMs() = host::SystemTimeMs();
  host::RegisterRecurringTimer([] { RunGuarded("health check", [] { SendHealthProbe(); }); },
                               kHealthProbeSeconds);
}

std::int64_t NextProbeAtMs() { return LastProbeTickMs() + std::int64_t{kHealthProbeSeconds} * 1000; }

}  // namespace palaverlink
