#include "link/link_state.h"

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "link/bot_request.h"

namespace palaverlink {

LinkStateData& LinkState() { return State().link; }

void MarkLinkDown(const std::string& operation, RequestResult result, const std::string& failure_text) {
  if (LinkState().bridgeDown) return;
  LinkState().bridgeDown = true;
  if (result == RequestResult::kKeyRejected) {
    Log().warn(messages::kKeyRejected, operation, HealthCheckSeconds);
  } else {
    Log().warn(messages::kLostConnection, operation, failure_text, HealthCheckSeconds);
  }
}

void NoteOutcome(const std::string& operation, const RequestOutcome& outcome, const std::string& text) {
  NameSet& refused = State().refusedRequests;
  switch (outcome.result) {
    case RequestResult::kSuccess:
      if (!refused.empty()) refused.erase(operation);
      return;
    case RequestResult::kRefused:
      if (refused.insert(operation).second) Log().warn(messages::kRefused, operation, text);
      return;
    case RequestResult::kKeyRejected:
    case RequestResult::kLinkLost:
      MarkLinkDown(operation, outcome.result, text);
      return;
  }
}

void NoteProbeOutcome(const RequestOutcome& outcome) {
  if (outcome.result != RequestResult::kSuccess || !LinkState().bridgeDown) return;
  LinkState().bridgeDown = false;
  Log().info(messages::kReconnected);
}

void HealthCheck() {
  BotRequest probe;
  probe.method = HttpMethod::kGet;
  probe.path = "/health";
  probe.role = LinkRole::kProbe;
  SendToBot(probe);
}

}  // namespace palaverlink
