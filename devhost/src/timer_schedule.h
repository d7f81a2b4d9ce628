// The framework's recurring timers, kept in registration order with the time each falls due next.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "hook_table.h"

namespace devhost {

class TimerSchedule {
 public:
  struct Due {
    std::uint64_t id = 0;
    OwnerId owner = 0;
    std::function<void()> callback;  // a copy: the timer may go while its callback runs
  };

  // `interval_seconds` below 1 is treated as 1; `count` -1 repeats for ever, n > 0 runs n times.
  void Add(std::function<void()> callback, int interval_seconds, int count, OwnerId owner,
           std::int64_t now_ms);

  // The earliest time at which a timer falls due, if any timer exists.
  std::optional<std::int64_t> NextDueMs() const;
  // Takes the earliest timer due at or before `limit_ms` (ties in registration order), counts the
  // run and schedules its next one; the time it was due goes into `due_ms`.
  std::optional<Due> TakeDue(std::int64_t limit_ms, std::int64_t& due_ms);

  // Drops every timer of `owner` (their callbacks are destroyed now); returns how many.
  std::size_t DropAllOf(OwnerId owner);
  std::size_t CountOf(OwnerId owner) const;
  void Clear();

  // The intervals as registered, in seconds, in registration order.
  std::vector<int> Intervals() const;

 private:
  struct Entry {
    std::uint64_t id = 0;
    OwnerId owner = 0;
    std::function<void()> callback;
    int interval_seconds = 0;
    std::int64_t interval_ms = 0;
    std::int64_t next_due_ms = 0;
    int remaining = -1;
  };
  std::uint64_t next_id_ = 1;
  std::vector<Entry> entries_;
};

}  // namespace devhost
