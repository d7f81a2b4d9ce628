#include "link/outbox.h"

#include <algorithm>
#include <utility>

#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/bot_request.h"
#include "link/idempotency_key.h"

namespace palaverlink {
namespace {

bool IsLine(const OutboxPost& post) { return post.ifUndelivered == IfUndelivered::kResend; }

std::size_t OnItsWay() { return Outbox().sending ? 1 : 0; }

void Forget(std::deque<OutboxPost>::iterator post) {
  OutboxRecord& box = Outbox();
  if (IsLine(*post)) {
    --box.lines;
    box.lineBytes -= post->body.size();
  }
  box.posts.erase(post);
}

void ForgetFirst() { Forget(Outbox().posts.begin()); }

void GiveUpFirst(const std::string& last_failure) {
  OutboxRecord& box = Outbox();
  const OutboxPost& post = box.posts.front();
  Log().warn(messages::kOutboxGaveUp, post.path, post.key, last_failure);
  ForgetFirst();
  ++box.counts.gaveUp;
  ++box.sinceLoad.gaveUp;
  box.troubled = true;
}

// The first post is the oldest: a wait past the bound with the link up is said at once, then at
// most once a minute with the number of lines that waited so long.
void WatchTheWait() {
  OutboxRecord& box = Outbox();
  if (box.posts.empty() || LinkState().bridgeDown) return;
  OutboxPost& oldest = box.posts.front();
  const std::int64_t now = host::SystemTimeMs();
  const std::int64_t waited = now - std::max(oldest.putInMs, box.linkBackMs);
  if (oldest.late || !IsLine(oldest) || waited <= kLongestWaitMs) return;
  oldest.late = true;
  box.troubled = true;
  if (const auto count = box.latePace.Note(now)) {
    Log().warn(messages::kOutboxLate, *count, kLongestWaitMs / 1000, waited / 1000, box.lines);
  }
}

// Full (too many lines waiting, or too many bytes held): the oldest waiting lines go. The one on
// its way stays, and so does a waiting player list (a newer one replaces it: one at most).
void MakeRoom() {
  OutboxRecord& box = Outbox();
  const auto limit = static_cast<std::size_t>(std::max(1, Settings().OutageBufferLines));
  const std::size_t line_on_its_way = box.sending && IsLine(box.posts.front()) ? 1 : 0;
  while (box.lines - line_on_its_way > limit || box.lineBytes > kOutboxBodyBytes) {
    const auto oldest =
        std::find_if(box.posts.begin() + static_cast<std::ptrdiff_t>(OnItsWay()), box.posts.end(), IsLine);
    if (oldest == box.posts.end()) return;
    Forget(oldest);
    ++box.counts.dropped;
    ++box.sinceLoad.dropped;
    box.troubled = true;
    if (LinkState().bridgeDown) continue;  // an outage: the line after the reconnection counts them
    if (const auto count = box.fullPace.Note(host::SystemTimeMs())) {
      Log().warn(messages::kOutboxFull, *count, Settings().OutageBufferLines, kOutboxBodyBytes / 1024);
    }
  }
}

void Pump();

void OnFirstCompleted(const std::string& key, const RequestOutcome& outcome, const std::string& text) {
  OutboxRecord& box = Outbox();
  // A completion from before a reset of the outbox (a test's, or one that outlived its load).
  if (!box.sending || box.posts.empty() || box.posts.front().key != key) return;
  WatchTheWait();
  box.sending = false;
  OutboxPost& first = box.posts.front();
  const bool line = IsLine(first);
  switch (outcome.verdict) {
    case RequestVerdict::kSuccess:
      ForgetFirst();
      if (line) ++box.counts.delivered;
      break;
    case RequestVerdict::kRefused:
      ForgetFirst();  // the link warned for the refusal
      if (line) ++box.counts.refused;
      break;
    case RequestVerdict::kKeyRejected:
    case RequestVerdict::kLinkLost:
      if (!line) {
        ForgetFirst();  // a player list is not sent again: the next one replaces it
      } else if (outcome.delivery == Delivery::kUnknown && ++first.unknownFates >= kAttemptsBeforeGivingUp) {
        GiveUpFirst(text);
      }
      break;
  }
  Pump();
}

// Once the outbox stands empty with the link up, what went wrong since it last did is counted in
// one line; the counts start again either way.
void ReportIfAllSent() {
  OutboxRecord& box = Outbox();
  if (box.sending || !box.posts.empty() || LinkState().bridgeDown) return;
  if (box.troubled) {
    const OutboxCounts& counts = box.counts;
    Log().info(messages::kOutboxSent, counts.delivered, counts.refused, counts.gaveUp, counts.dropped,
               Settings().OutageBufferLines);
  }
  box.counts = {};
  box.troubled = false;
}

// Sends the first post unless one is on its way; the link-down gate holds it while the link is down.
Handover SendFirst() {
  OutboxRecord& box = Outbox();
  const OutboxPost& post = box.posts.front();
  BotRequest request;
  request.endpoint = {HttpMethod::kPost, post.path};
  request.body = post.body;
  request.idempotencyKey = post.key;
  box.sending = true;
  const Handover handover =
      SendToBot(request, [key = post.key](const RequestOutcome& outcome, const std::string& text,
                                          LinkChange) { OnFirstCompleted(key, outcome, text); });
  if (handover != Handover::kStarted) box.sending = false;
  return handover;
}

void Pump() {
  OutboxRecord& box = Outbox();
  // The host will not start requests: trying one again would hold back everything after it, so
  // each is given up, and all of them in one warning.
  std::size_t not_started = 0;
  std::string first_not_started;
  while (!box.sending && !box.posts.empty()) {
    const Handover handover = SendFirst();
    if (handover == Handover::kStarted) break;
    if (handover == Handover::kBridgeDown) {
      if (box.lines > 0) box.troubled = true;  // first again once the link is back
      break;
    }
    if (IsLine(box.posts.front())) {
      if (not_started++ == 0) first_not_started = box.posts.front().key;
      ++box.counts.gaveUp;
      ++box.sinceLoad.gaveUp;
      box.troubled = true;
    }
    ForgetFirst();
  }
  if (not_started > 0)
    Log().warn(messages::kOutboxNotStarted, not_started, first_not_started, host::kNotStartedText);
  ReportIfAllSent();
}

}  // namespace

OutboxRecord& Outbox() {
  static auto* const record = new OutboxRecord();  // never destroyed: see core/guard.cpp
  return *record;
}

void ResetOutbox() { Outbox() = OutboxRecord{}; }

void PostInOrder(std::string path, std::string body, IfUndelivered if_undelivered) {
  OutboxRecord& box = Outbox();
  if (LinkState().bridgeDown && Settings().Debug) Log().info(messages::kKeptPost, path);
  if (if_undelivered == IfUndelivered::kDrop) {
    // The newer list says all the waiting one would: it goes in its stead, behind what came since.
    const auto waiting =
        std::find_if(box.posts.begin() + static_cast<std::ptrdiff_t>(OnItsWay()), box.posts.end(),
                     [&path](const OutboxPost& post) { return !IsLine(post) && post.path == path; });
    if (waiting != box.posts.end()) Forget(waiting);
  } else {
    ++box.lines;
    box.lineBytes += body.size();
  }
  box.posts.push_back({NewIdempotencyKey(), std::move(path), std::move(body), if_undelivered,
                       host::SystemTimeMs(), 0, false});
  WatchTheWait();
  MakeRoom();
  Pump();
}

void ResumeOutbox() {
  Outbox().linkBackMs = host::SystemTimeMs();
  Pump();
}

void ReportUnsentAtUnload() {
  const OutboxRecord& box = Outbox();
  if (box.lines > 0) Log().warn(messages::kOutboxUnsentAtUnload, box.lines);
}

}  // namespace palaverlink
