#include "link/outage_buffer.h"

#include <algorithm>
#include <deque>
#include <utility>

#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "core/warning_pace.h"
#include "link/bot_request.h"
#include "link/idempotency_key.h"

namespace palaverlink {
namespace {

struct WaitingPost {
  std::string key;  // the same on every attempt
  std::string path;
  std::string body;
  IfUndelivered ifUndelivered = IfUndelivered::kResend;  // kResend: a line; kDrop: a player list
  std::int64_t putInMs = 0;                              // the host's system clock
  int unknownFates = 0;  // attempts that ended without knowing whether the bot took it
  bool late = false;     // already counted as waiting longer than kLongestWaitMs
};

// The fates of the lines since the buffer last stood empty with the link up.
struct LineFates {
  std::size_t delivered = 0;
  std::size_t refused = 0;
  std::size_t gaveUp = 0;
  std::size_t dropped = 0;  // the oldest waiting, when a new one found the buffer full
};

struct BufferRecord {
  std::deque<WaitingPost> posts;  // oldest first; the first is on its way while `sending`
  bool sending = false;
  std::size_t lines = 0;      // posts that are lines
  std::size_t lineBytes = 0;  // their bodies
  LineFates fates;
  // Since the buffer last stood empty: a line was held back by the link, dropped, given up or
  // late. The fates then go into one line once the buffer is empty again.
  bool troubled = false;
  std::int64_t linkBackMs = 0;  // the last reconnection: a line's wait counts from here at the earliest
  WarningPace fullPace;
  WarningPace latePace;
  // Lines given up and dropped since the load, never reset by a report.
  LineFates sinceLoad;
};

BufferRecord& Buffer() {
  static auto* const record = new BufferRecord();  // never destroyed: see core/guard.cpp
  return *record;
}

bool IsLine(const WaitingPost& post) { return post.ifUndelivered == IfUndelivered::kResend; }

std::size_t OnItsWay() { return Buffer().sending ? 1 : 0; }

void Forget(std::deque<WaitingPost>::iterator post) {
  BufferRecord& box = Buffer();
  if (IsLine(*post)) {
    --box.lines;
    box.lineBytes -= post->body.size();
  }
  box.posts.erase(post);
}

void ForgetFirst() { Forget(Buffer().posts.begin()); }

void GiveUpFirst(const std::string& last_failure) {
  BufferRecord& box = Buffer();
  const WaitingPost& post = box.posts.front();
  Log().warn(messages::kOutageBufferGaveUp, post.path, post.key, last_failure);
  ForgetFirst();
  ++box.fates.gaveUp;
  ++box.sinceLoad.gaveUp;
  box.troubled = true;
}

// The first post is the oldest: a wait past the bound with the link up is said at once, then at
// most once a minute with the number of lines that waited so long.
void WatchTheWait() {
  BufferRecord& box = Buffer();
  if (box.posts.empty() || LinkIsDown()) return;
  WaitingPost& oldest = box.posts.front();
  const std::int64_t now = host::SystemTimeMs();
  const std::int64_t waited = now - std::max(oldest.putInMs, box.linkBackMs);
  if (oldest.late || !IsLine(oldest) || waited <= kLongestWaitMs) return;
  oldest.late = true;
  box.troubled = true;
  if (const auto count = box.latePace.Note(now)) {
    Log().warn(messages::kOutageBufferLate, *count, kLongestWaitMs / 1000, waited / 1000, box.lines);
  }
}

// Full (too many lines waiting, or too many bytes held): the oldest waiting lines go. The one on
// its way stays, and so does a waiting player list (a newer one replaces it: one at most).
void MakeRoom() {
  BufferRecord& box = Buffer();
  const auto limit = static_cast<std::size_t>(Settings().OutageBufferLines);
  const std::size_t line_on_its_way = box.sending && IsLine(box.posts.front()) ? 1 : 0;
  while (box.lines - line_on_its_way > limit || box.lineBytes > kOutageBufferBodyBytes) {
    const auto oldest =
        std::find_if(box.posts.begin() + static_cast<std::ptrdiff_t>(OnItsWay()), box.posts.end(), IsLine);
    if (oldest == box.posts.end()) return;
    Forget(oldest);
    ++box.fates.dropped;
    ++box.sinceLoad.dropped;
    box.troubled = true;
    if (LinkIsDown()) continue;  // an outage: the line after the reconnection counts them
    if (const auto count = box.fullPace.Note(host::SystemTimeMs())) {
      Log().warn(messages::kOutageBufferFull, *count, Settings().OutageBufferLines,
                 kOutageBufferBodyBytes / 1024);
    }
  }
}

void Pump();

void OnFirstCompleted(const std::string& key, const RequestOutcome& outcome, const std::string& text) {
  BufferRecord& box = Buffer();
  // A completion from before a reset of the buffer (a test's, or one that outlived its load).
  if (!box.sending || box.posts.empty() || box.posts.front().key != key) return;
  WatchTheWait();
  box.sending = false;
  WaitingPost& first = box.posts.front();
  const bool line = IsLine(first);
  switch (outcome.verdict) {
    case RequestVerdict::kSuccess:
      ForgetFirst();
      if (line) ++box.fates.delivered;
      break;
    case RequestVerdict::kRefused:
      ForgetFirst();  // the link warned for the refusal
      if (line) ++box.fates.refused;
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

// Once the buffer stands empty with the link up, what went wrong since it last did is counted in
// one line; the counts start again either way.
void ReportIfAllSent() {
  BufferRecord& box = Buffer();
  if (box.sending || !box.posts.empty() || LinkIsDown()) return;
  if (box.troubled) {
    const LineFates& fates = box.fates;
    Log().info(messages::kOutageBufferCaughtUp, fates.delivered, fates.refused, fates.gaveUp, fates.dropped,
               Settings().OutageBufferLines);
  }
  box.fates = {};
  box.troubled = false;
}

// Sends the first post unless one is on its way; the link-down gate holds it while the link is down.
Handover SendFirst() {
  BufferRecord& box = Buffer();
  const WaitingPost& post = box.posts.front();
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
  BufferRecord& box = Buffer();
  // The host will not start requests: trying one again would hold back everything after it, so
  // each is given up, and all of them in one warning.
  std::size_t not_started = 0;
  std::string first_not_started;
  while (!box.sending && !box.posts.empty()) {
    const Handover handover = SendFirst();
    if (handover == Handover::kStarted) break;
    if (handover == Handover::kLinkDown) {
      if (box.lines > 0) box.troubled = true;  // first again once the link is back
      break;
    }
    if (IsLine(box.posts.front())) {
      if (not_started++ == 0) first_not_started = box.posts.front().key;
      ++box.fates.gaveUp;
      ++box.sinceLoad.gaveUp;
      box.troubled = true;
    }
    ForgetFirst();
  }
  if (not_started > 0)
    Log().warn(messages::kOutageBufferNotStarted, not_started, first_not_started, host::kNotStartedText);
  ReportIfAllSent();
}

}  // namespace

void ResetOutageBuffer() { Buffer() = BufferRecord{}; }

void PostInOrder(std::string path, std::string body, IfUndelivered if_undelivered) {
  BufferRecord& box = Buffer();
  if (LinkIsDown() && Settings().Debug) Log().info(messages::kKeptPost, path);
  if (if_undelivered == IfUndelivered::kDrop) {
    // The newer list says all the waiting one would: it goes in its stead, behind what came since.
    const auto waiting =
        std::find_if(box.posts.begin() + static_cast<std::ptrdiff_t>(OnItsWay()), box.posts.end(),
                     [&path](const WaitingPost& post) { return !IsLine(post) && post.path == path; });
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

void ResumeOutageBuffer() {
  Buffer().linkBackMs = host::SystemTimeMs();
  Pump();
}

void ReportUnsentAtUnload() {
  const BufferRecord& box = Buffer();
  if (box.lines > 0) Log().warn(messages::kOutageBufferUnsentAtUnload, box.lines);
}

OutageBufferSummary SummariseOutageBuffer() {
  const BufferRecord& box = Buffer();
  OutageBufferSummary summary;
  summary.lines = box.lines;
  summary.lineBytes = box.lineBytes;
  if (!box.posts.empty()) summary.oldestPutInMs = box.posts.front().putInMs;
  summary.gaveUpSinceLoad = box.sinceLoad.gaveUp;
  summary.droppedSinceLoad = box.sinceLoad.dropped;
  return summary;
}

void BackdateOldestWait(std::int64_t ms) {
  BufferRecord& box = Buffer();
  if (!box.posts.empty()) box.posts.front().putInMs -= ms;
  box.linkBackMs -= ms;
}

}  // namespace palaverlink
