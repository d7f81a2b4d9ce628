#include "timer_schedule.h"

#include <algorithm>

namespace devhost {

void TimerSchedule::Add(std::function<void()> callback, int interval_seconds, int count, OwnerId owner,
                        std::int64_t now_ms) {
  if (count == 0 || !callback) return;
  const std::int64_t interval_ms = std::int64_t{std::max(interval_seconds, 1)} * 1000;
  entries_.push_back(Entry{next_id_++, owner, std::move(callback), interval_seconds, interval_ms,
                           now_ms + interval_ms, count < 0 ? -1 : count});
}

std::optional<std::int64_t> TimerSchedule::NextDueMs() const {
  if (entries_.empty()) return std::nullopt;
  auto earliest = std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return a.next_due_ms < b.next_due_ms;
  });
  return earliest->next_due_ms;
}

std::optional<TimerSchedule::Due> TimerSchedule::TakeDue(std::int64_t limit_ms, std::int64_t& due_ms) {
  // min_element keeps the first of equal elements, so ties go in registration order.
  auto earliest = std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    return a.next_due_ms < b.next_due_ms;
  });
  if (earliest == entries_.end() || earliest->next_due_ms > limit_ms) return std::nullopt;
  due_ms = earliest->next_due_ms;
  Due due{earliest->id, earliest->owner, earliest->callback};
  earliest->next_due_ms += earliest->interval_ms;
  if (earliest->remaining > 0 && --earliest->remaining == 0) entries_.erase(earliest);
  return due;
}

std::size_t TimerSchedule::DropAllOf(OwnerId owner) {
  return static_cast<std::size_t>(
      std::erase_if(entries_, [owner](const Entry& entry) { return entry.owner == owner; }));
}

std::size_t TimerSchedule::CountOf(OwnerId owner) const {
  return static_cast<std::size_t>(std::count_if(
      entries_.begin(), entries_.end(), [owner](const Entry& entry) { return entry.owner == owner; }));
}

void TimerSchedule::Clear() { entries_.clear(); }

std::vector<int> TimerSchedule::Intervals() const {
  std::vector<int> intervals;
  for (const Entry& entry : entries_) intervals.push_back(entry.interval_seconds);
  return intervals;
}

}  // namespace devhost
