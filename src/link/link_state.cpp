#include "link/link_state.h"

#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"

namespace palaverlink {
namespace {

LinkChange MarkLinkDown(const Endpoint& endpoint, RequestVerdict verdict, std::string_view failure_text) {
  LinkStateData& link = LinkState();
  if (link.bridgeDown) return LinkChange::kNone;
  link.bridgeDown = true;
  link.changedAtMs = host::SystemTimeMs();
  link.downBecause = verdict == RequestVerdict::kKeyRejected
                         ? "the bot rejected the API key (401) on " + Describe(endpoint)
                         : Describe(endpoint) + " failed: " + std::string(failure_text);
  if (verdict == RequestVerdict::kKeyRejected) {
    Log().warn(messages::kKeyRejected, Describe(endpoint), HealthCheckSeconds);
  } else {
    Log().warn(messages::kLostConnection, Describe(endpoint), failure_text, HealthCheckSeconds);
  }
  return LinkChange::kWentDown;
}

}  // namespace

std::string Describe(const Endpoint& endpoint) {
  std::string name = endpoint.method == HttpMethod::kPost ? "POST " : "GET ";
  name += endpoint.path;
  return name;
}

LinkStateData& LinkState() {
  static auto* const link = new LinkStateData();  // never destroyed: see core/guard.cpp
  return *link;
}

void ResetLinkState() {
  LinkState() = LinkStateData{};
  LinkState().changedAtMs = host::SystemTimeMs();  // up from the load on
}

LinkChange NoteOutcome(const Endpoint& endpoint, const RequestOutcome& outcome, std::string_view text) {
  switch (outcome.verdict) {
    case RequestVerdict::kSuccess:
      LinkState().lastSuccessMs.insert_or_assign(Describe(endpoint), host::SystemTimeMs());
      if (Settings().Debug && endpoint.method == HttpMethod::kPost)
        Log().info(messages::kPostOk, endpoint.path);
      return LinkChange::kNone;
    case RequestVerdict::kRefused: {
      ++LinkState().refused;
      const std::string name = Describe(endpoint);
      const std::string kind = name + " " + std::to_string(outcome.status);
      if (const auto count = LinkState().refusals[kind].Note(host::SystemTimeMs())) {
        Log().warn(messages::kRefused, name, text, *count);
      }
      return LinkChange::kNone;
    }
    case RequestVerdict::kKeyRejected:
    case RequestVerdict::kLinkLost:
      return MarkLinkDown(endpoint, outcome.verdict, text);
  }
  return LinkChange::kNone;
}

LinkChange NoteProbeOutcome(const RequestOutcome& outcome) {
  LinkStateData& link = LinkState();
  if (outcome.verdict != RequestVerdict::kSuccess || !link.bridgeDown) return LinkChange::kNone;
  link.bridgeDown = false;
  link.changedAtMs = host::SystemTimeMs();
  link.downBecause.clear();
  Log().info(messages::kReconnected);
  return LinkChange::kCameBack;
}

}  // namespace palaverlink
