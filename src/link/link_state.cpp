#include "link/link_state.h"

#include <map>

#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "core/warning_pace.h"
#include "link/health_probe.h"

namespace palaverlink {
namespace {

struct LinkRecord {
  bool down = false;
  // The refusals of each request and status ("POST /api/chat/inbound 422"), for their warnings.
  std::map<std::string, WarningPace, std::less<>> refusals;
  std::int64_t changedAtMs = 0;
  std::string downBecause;
  std::size_t refused = 0;
  std::map<std::string, std::int64_t, std::less<>> lastSuccessMs;  // by Describe
};

LinkRecord& Link() {
  static auto* const link = new LinkRecord();  // never destroyed: see core/guard.cpp
  return *link;
}

LinkChange MarkLinkDown(const Endpoint& endpoint, RequestVerdict verdict, std::string_view failure_text) {
  LinkRecord& link = Link();
  if (link.down) return LinkChange::kNone;
  link.down = true;
  link.changedAtMs = host::SystemTimeMs();
  link.downBecause = verdict == RequestVerdict::kKeyRejected
                         ? "the bot rejected the API key (401) on " + Describe(endpoint)
                         : Describe(endpoint) + " failed: " + std::string(failure_text);
  if (verdict == RequestVerdict::kKeyRejected) {
    Log().warn(messages::kKeyRejected, Describe(endpoint), kHealthProbeSeconds);
  } else {
    Log().warn(messages::kLostConnection, Describe(endpoint), failure_text, kHealthProbeSeconds);
  }
  return LinkChange::kWentDown;
}

}  // namespace

std::string Describe(const Endpoint& endpoint) {
  std::string name = endpoint.method == HttpMethod::kPost ? "POST " : "GET ";
  name += endpoint.path;
  return name;
}

bool LinkIsDown() { return Link().down; }

std::int64_t LinkChangedAtMs() { return Link().changedAtMs; }

const std::string& LinkDownBecause() { return Link().downBecause; }

std::size_t RefusedSinceLoad() { return Link().refused; }

std::optional<std::int64_t> LastSuccessMs(std::string_view request) {
  const auto& last = Link().lastSuccessMs;
  const auto found = last.find(request);
  if (found == last.end()) return std::nullopt;
  return found->second;
}

void ResetLinkState() {
  Link() = LinkRecord{};
  Link().changedAtMs = host::SystemTimeMs();  // up from the load on
}

LinkChange NoteOutcome(const Endpoint& endpoint, const RequestOutcome& outcome, std::string_view text) {
  switch (outcome.verdict) {
    case RequestVerdict::kSuccess:
      Link().lastSuccessMs.insert_or_assign(Describe(endpoint), host::SystemTimeMs());
      if (Settings().Debug && endpoint.method == HttpMethod::kPost)
        Log().info(messages::kPostOk, endpoint.path);
      return LinkChange::kNone;
    case RequestVerdict::kRefused: {
      ++Link().refused;
      const std::string name = Describe(endpoint);
      const std::string kind = name + " " + std::to_string(outcome.status);
      if (const auto count = Link().refusals[kind].Note(host::SystemTimeMs())) {
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
  LinkRecord& link = Link();
  if (outcome.verdict != RequestVerdict::kSuccess || !link.down) return LinkChange::kNone;
  link.down = false;
  link.changedAtMs = host::SystemTimeMs();
  link.downBecause.clear();
  Log().info(messages::kReconnected);
  return LinkChange::kCameBack;
}

}  // namespace palaverlink
