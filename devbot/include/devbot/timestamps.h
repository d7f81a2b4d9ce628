// Message times: milliseconds since 1970 that never repeat and never go back, so that a poll's
// "since" cursor can neither skip nor repeat a message, however many arrive within a millisecond.
#pragma once

#include <cstdint>
#include <functional>

namespace devbot {

using MillisecondClock = std::function<std::int64_t()>;

// The system clock in whole milliseconds since 1970-01-01 00:00 UTC.
std::int64_t SystemMilliseconds();

class TimestampSource {
 public:
  explicit TimestampSource(MillisecondClock clock);

  // The clock's time, or one more than the last stamp when the clock has not passed it.
  std::int64_t Next();
  std::int64_t Now() const { return clock_(); }

 private:
  MillisecondClock clock_;
  std::int64_t last_ = INT64_MIN;
};

}  // namespace devbot
