#include "devbot/timestamps.h"

#include <algorithm>
#include <chrono>

namespace devbot {

std::int64_t SystemMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TimestampSource::TimestampSource(MillisecondClock clock) : clock_(std::move(clock)) {}

std::int64_t TimestampSource::Next() {
  std::int64_t now = clock_();
  last_ = (last_ == INT64_MIN) ? now : std::max(now, last_ + 1);
  return last_;
}

}  // namespace devbot
