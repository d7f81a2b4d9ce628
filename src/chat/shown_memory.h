// The messages shown that could not move the cursor: those without a usable createdAt, and those
// stamped too far ahead to become it. The bot sends them again at every poll, since they are not
// before `since`; each is shown once. Bounded: past the bound the oldest is forgotten.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace palaverlink {

// More than a bot repeats in one answer (a poll takes at most 8 such elements) by far; 2048
// fingerprints keep some 80 KiB.
inline constexpr std::size_t kRememberedMessages = 2048;

// An answer may hold a hundred thousand elements, each looked up: most are told apart by their
// length alone, and the rest cost a hash eight bytes at a time and a probe of an open table.
class ShownMemory {
 public:
  // By the element's exact JSON text.
  bool Contains(std::string_view element_text) const;
  void Remember(std::string_view element_text);

 private:
  // Twice the fingerprints kept: probes stay short. Zero marks an empty slot.
  static constexpr std::size_t kSlots = 2 * kRememberedMessages;
  static constexpr std::size_t kLengthSlots = 4096;

  std::size_t SlotOf(std::uint64_t fingerprint) const;  // where it is, or the empty slot it would take
  void Erase(std::uint64_t fingerprint);

  std::array<std::uint64_t, kSlots> slots_{};
  struct Kept {
    std::uint64_t fingerprint = 0;
    std::size_t length = 0;
  };
  std::array<Kept, kRememberedMessages> order_{};  // oldest at next_ once full
  std::size_t next_ = 0;
  std::size_t size_ = 0;
  std::array<std::uint16_t, kLengthSlots> lengths_{};  // how many kept texts have each length, modulo
};

}  // namespace palaverlink
