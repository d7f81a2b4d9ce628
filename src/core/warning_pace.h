// Warnings that players or a bot's data can cause as often as they like: at most one a minute of
// each kind, and the one written says how many it stands for. A log a player can fill is a log an
// administrator stops reading; a count keeps what was held back from being lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace palaverlink {

// One warning of a kind a minute: enough to see a fault begin and go on, too few to bury the rest.
inline constexpr std::int64_t kWarningIntervalMs = 60'000;

class WarningPace {
 public:
  // Notes one occurrence at `now_ms` (the host's system clock). Returns how many occurrences the
  // warning to write now stands for (this one and those held back since the last warning), or
  // nothing when this one is held back. A clock stepped back opens the next minute at once.
  std::optional<std::size_t> Note(std::int64_t now_ms) {
    ++held_;
    if (written_ && now_ms >= lastMs_ && now_ms - lastMs_ < kWarningIntervalMs) return std::nullopt;
    written_ = true;
    lastMs_ = now_ms;
    const std::size_t count = held_;
    held_ = 0;
    return count;
  }

 private:
  bool written_ = false;
  std::int64_t lastMs_ = 0;
  std::size_t held_ = 0;
};

}  // namespace palaverlink
