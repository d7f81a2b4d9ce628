#include "link/outbox.h"

#include <algorithm>
#include <utility>

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/bot_request.h"
#include "link/idempotency_key.h"

namespace palaverlink {
namespace {

constexpr char kHostRefusedText[] = "the host would not start the request";

void Pump();

void GiveUpFirst(const std::string& last_failure) {
  OutboxRecord& box = Outbox();
  const OutboxPost& post = box.posts.front();
  Log().warn(messages::kOutboxGaveUp, post.path, post.key, last_failure);
  box.posts.pop_front();
  ++box.counts.gaveUp;
  box.recovering = true;
}

void OnFirstCompleted(const std::string& key, const RequestOutcome& outcome, const std::string& text) {
  OutboxRecord& box = Outbox();
  // A completion from before a reset of the outbox (a test's, or one that outlived its load).
  if (!box.sending || box.posts.empty() || box.posts.front().key != key) return;
  box.sending = false;
  switch (outcome.verdict) {
    case RequestVerdict::kSuccess:
      box.posts.pop_front();
      if (box.recovering) ++box.counts.delivered;
      break;
    case RequestVerdict::kRefused:
      box.posts.pop_front();  // the link warned once for the run of refusals
      if (box.recovering) ++box.counts.refused;
      break;
    case RequestVerdict::kKeyRejected:
    case RequestVerdict::kLinkLost:
      box.recovering = true;
      if (outcome.delivery == Delivery::kUnknown &&
          ++box.posts.front().unknownFates >= kAttemptsBeforeGivingUp) {
        GiveUpFirst(text);
      }
      break;
  }
  Pump();
}

void ReportIfAllSent() {
  OutboxRecord& box = Outbox();
  if (!box.recovering || box.sending || !box.posts.empty() || LinkState().bridgeDown) return;
  const OutboxCounts& counts = box.counts;
  Log().info(messages::kOutboxSent, counts.delivered, counts.refused, counts.gaveUp, counts.dropped,
             Settings().OutageBufferLines);
  box.counts = {};
  box.recovering = false;
}

// Sends the first post unless one is on its way; the link-down gate holds it while the link is down.
void Pump() {
  OutboxRecord& box = Outbox();
  while (!box.sending && !box.posts.empty()) {
    const OutboxPost& post = box.posts.front();
    BotRequest request;
    request.method = HttpMethod::kPost;
    request.path = post.path;
    request.body = post.body;
    request.idempotencyKey = post.key;
    box.sending = true;
    const Handover handover =
        SendToBot(request, [key = post.key](const RequestOutcome& outcome, const std::string& text,
                                            LinkChange) { OnFirstCompleted(key, outcome, text); });
    if (handover == Handover::kStarted) return;
    box.sending = false;
    if (handover == Handover::kBridgeDown) return;  // first again once the link is back
    // The host will not start it: trying again would hold back everything after it.
    GiveUpFirst(kHostRefusedText);
  }
  ReportIfAllSent();
}

}  // namespace

OutboxRecord& Outbox() {
  static auto* const record = new OutboxRecord();  // never destroyed: see core/guard.cpp
  return *record;
}

void ResetOutbox() { Outbox() = OutboxRecord{}; }

void PostInOrder(std::string path, std::string body) {
  OutboxRecord& box = Outbox();
  if (LinkState().bridgeDown) {
    box.recovering = true;
    if (Settings().Debug) Log().info(messages::kKeptPost, path);
  }
  box.posts.push_back({NewIdempotencyKey(), std::move(path), std::move(body), 0});
  // Full: the oldest of those waiting goes (the one on its way is not kept here but by the host).
  const auto limit = static_cast<std::size_t>(std::max(1, Settings().OutageBufferLines));
  const std::size_t on_its_way = box.sending ? 1 : 0;
  while (box.posts.size() - on_its_way > limit) {
    box.posts.erase(box.posts.begin() + static_cast<std::ptrdiff_t>(on_its_way));
    ++box.counts.dropped;
    box.recovering = true;
  }
  Pump();
}

void ResumeOutbox() { Pump(); }

void ReportUnsentAtUnload() {
  const OutboxRecord& box = Outbox();
  if (!box.posts.empty()) Log().warn(messages::kOutboxUnsentAtUnload, box.posts.size());
}

}  // namespace palaverlink
