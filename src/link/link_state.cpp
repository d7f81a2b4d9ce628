#include "link/link_state.h"

#include <utility>

#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/post_json.h"

namespace palaverlink {
namespace {

void OnHealthCheckDone(bool success) {
  if (!success || !LinkState().bridgeDown) return;
  LinkState().bridgeDown = false;
  Log().info(messages::kReconnected);
}

}  // namespace

LinkStateData& LinkState() {
  static LinkStateData state;
  return state;
}

void MarkLinkDown(const std::string& operation, const std::string& failure_text) {
  if (LinkState().bridgeDown) return;
  LinkState().bridgeDown = true;
  if (failure_text.find("401") != std::string::npos) {
    Log().warn(messages::kKeyRejected, operation, HealthCheckSeconds);
  } else {
    Log().warn(messages::kLostConnection, operation, failure_text, HealthCheckSeconds);
  }
}

void HealthCheck() {
  host::SendGet(
      Settings().BridgeUrl + "/health",
      [](bool success, const std::string&) {
        RunGuarded("health check completion", [success] { OnHealthCheckDone(success); });
      },
      BuildAuthHeaders());
}

}  // namespace palaverlink
