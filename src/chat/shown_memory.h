// The messages shown that could not move the cursor: those without a usable createdAt, and those
// stamped too far ahead to become it. The bot sends them again at every poll, since they are not
// before `since`; each is shown once. Bounded: past the bound the oldest is forgotten.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_set>

namespace palaverlink {

// More than a bot repeats in one answer (a poll takes at most 8 such elements) by far; 2048 hashes
// keep some 100 KiB.
inline constexpr std::size_t kRememberedMessages = 2048;

class ShownMemory {
 public:
  // By the element's exact JSON text.
  bool Contains(std::string_view element_text) const;
  void Remember(std::string_view element_text);

 private:
  std::unordered_set<std::uint64_t> known_;
  std::array<std::uint64_t, kRememberedMessages> order_{};  // oldest at next_ once full
  std::size_t next_ = 0;
};

}  // namespace palaverlink
