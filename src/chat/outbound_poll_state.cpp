#include "chat/outbound_poll_state.h"

#include <algorithm>
#include <bitset>
#include <chrono>

namespace palaverlink {
namespace {

constexpr std::size_t kAnswerFaults = static_cast<std::size_t>(AnswerFault::kClockAhead) + 1;

// What a reload in the same process keeps: the cursor never moves back, so nothing is shown twice.
struct ShownSoFar {
  std::int64_t cursor = 0;
  std::int64_t greatestCreatedAt = 0;
  ShownMemory withoutTime;
};

struct PollStateRecord {
  bool cursorIsLoadStamp = true;
  // How long the bot held a poll tells a long poll from an at-once answer.
  std::chrono::steady_clock::time_point sentAt;
  std::bitset<kAnswerFaults> runs;  // the faults of the last answer
  OutboundCounts counts;
};

ShownSoFar& SoFar() {
  static auto* const shown = new ShownSoFar();  // never destroyed: see core/guard.cpp
  return *shown;
}

PollStateRecord& State() {
  static auto* const record = new PollStateRecord();  // never destroyed: see core/guard.cpp
  return *record;
}

}  // namespace

std::int64_t OutboundCursor() { return SoFar().cursor; }

std::int64_t GreatestCreatedAt() { return SoFar().greatestCreatedAt; }

bool CursorIsLoadStamp() { return State().cursorIsLoadStamp; }

const ShownMemory& ShownWithoutTime() { return SoFar().withoutTime; }

std::int64_t LastPollSentMsAgo() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               State().sentAt)
      .count();
}

OutboundCounts OutboundCountsSinceLoad() { return State().counts; }

void StampOutboundCursor(std::int64_t now_ms) { SoFar().cursor = std::max(SoFar().cursor, now_ms); }

void SetOutboundCursor(std::int64_t ms) { SoFar().cursor = ms; }

void NotePollSent() {
  State().sentAt = std::chrono::steady_clock::now();
  ++State().counts.polls;
}

void TakeCreatedAt(std::int64_t created_at) {
  ShownSoFar& so_far = SoFar();
  if (created_at <= so_far.cursor) return;
  so_far.cursor = created_at;
  so_far.greatestCreatedAt = std::max(so_far.greatestCreatedAt, created_at);
  State().cursorIsLoadStamp = false;
}

void PutCursorOnBotClock(std::int64_t cursor) {
  SoFar().cursor = cursor;
  State().cursorIsLoadStamp = false;
}

void RememberShownWithoutTime(std::string_view element) { SoFar().withoutTime.Remember(element); }

void CountAnswer(std::size_t shown, std::size_t skipped, std::size_t mended) {
  OutboundCounts& counts = State().counts;
  counts.shown += shown;
  counts.skipped += skipped;
  counts.mended += mended;
}

bool BeginsRun(AnswerFault fault, bool present) {
  std::bitset<kAnswerFaults>& runs = State().runs;
  const auto index = static_cast<std::size_t>(fault);
  const bool begins = present && !runs.test(index);
  runs.set(index, present);
  return begins;
}

void ResetOutboundPollState() { State() = PollStateRecord{}; }

}  // namespace palaverlink
