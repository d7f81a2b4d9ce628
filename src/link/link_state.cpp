#include "link/link_state.h"

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/bot_request.h"

namespace palaverlink {
namespace {

constexpr std::string_view kPostPrefix = "POST ";

}  // namespace

LinkStateData& LinkState() { return State().link; }

void MarkLinkDown(std::string_view operation, RequestResult result, std::string_view failure_text) {
  if (LinkState().bridgeDown) return;
  LinkState().bridgeDown = true;
  if (result == RequestResult::kKeyRejected) {
    Log().warn(messages::kKeyRejected, operation, HealthCheckSeconds);
  } else {
    Log().warn(messages::kLostConnection, operation, failure_text, HealthCheckSeconds);
  }
}

void NoteOutcome(std::string_view operation, const RequestOutcome& outcome, std::string_view text) {
  NameSet& refused = State().refusedRequests;
  switch (outcome.result) {
    case RequestResult::kSuccess:
      if (!refused.empty()) {
        if (const auto run = refused.find(operation); run != refused.end()) refused.erase(run);
      }
      if (Settings().Debug && operation.starts_with(kPostPrefix)) {
        Log().info(messages::kPostOk, operation.substr(kPostPrefix.size()));
      }
      return;
    case RequestResult::kRefused:
      if (refused.emplace(operation).second) Log().warn(messages::kRefused, operation, text);
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
