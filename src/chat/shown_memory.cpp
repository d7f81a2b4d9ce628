#include "chat/shown_memory.h"

#include <cstring>

namespace palaverlink {
namespace {

constexpr std::size_t kSlotMask = 2 * kRememberedMessages - 1;
static_assert((kSlotMask & (kSlotMask + 1)) == 0, "a power of two");

std::uint64_t Mix(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * 0x9E3779B97F4A7C15ULL;
  return hash ^ (hash >> 29);
}

// Eight bytes a step, the length folded in: the texts compared are a bot's own messages, not
// chosen to collide, and a collision would hide one message. Never zero, which marks an empty slot.
std::uint64_t Fingerprint(std::string_view text) {
  const char* at = text.data();
  std::size_t left = text.size();
  std::uint64_t hash = Mix(0xCBF29CE484222325ULL, left);
  for (; left >= 8; left -= 8, at += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, 8);
    hash = Mix(hash, word);
  }
  // The last bytes without a loop: two four-byte words that overlap, or three bytes that repeat;
  // with the length folded in, no two tails give the same word.
  std::uint64_t tail = 0;
  if (left >= 4) {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::memcpy(&first, at, 4);
    std::memcpy(&last, at + left - 4, 4);
    tail = std::uint64_t{first} << 32 | last;
  } else if (left > 0) {
    const auto byte = [&](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(at[i])}; };
    tail = byte(0) << 16 | byte(left / 2) << 8 | byte(left - 1);
  }
  hash = Mix(Mix(hash, tail), 0x632BE59BD9B4E019ULL);
  hash ^= hash >> 32;
  return hash == 0 ? 1 : hash;
}

}  // namespace

std::size_t ShownMemory::SlotOf(std::uint64_t fingerprint) const {
  std::size_t slot = fingerprint & kSlotMask;
  while (slots_[slot] != 0 && slots_[slot] != fingerprint) slot = (slot + 1) & kSlotMask;
  return slot;
}

bool ShownMemory::Contains(std::string_view element_text) const {
  if (lengths_[element_text.size() % kLengthSlots] == 0) return false;
  return slots_[SlotOf(Fingerprint(element_text))] != 0;
}

void ShownMemory::Remember(std::string_view element_text) {
  const std::uint64_t fingerprint = Fingerprint(element_text);
  const std::size_t slot = SlotOf(fingerprint);
  if (slots_[slot] != 0) return;
  Kept& oldest = order_[next_];
  if (size_ == kRememberedMessages) {
    Erase(oldest.fingerprint);
    --lengths_[oldest.length % kLengthSlots];
    --size_;
  }
  slots_[SlotOf(fingerprint)] = fingerprint;  // the erase may have moved the empty slot
  ++size_;
  oldest = {fingerprint, element_text.size()};
  ++lengths_[element_text.size() % kLengthSlots];
  next_ = (next_ + 1) % kRememberedMessages;
}

// Linear probing without tombstones: the entries after the hole that would no longer be found
// move back into it.
void ShownMemory::Erase(std::uint64_t fingerprint) {
  std::size_t hole = SlotOf(fingerprint);
  if (slots_[hole] == 0) return;
  for (std::size_t next = (hole + 1) & kSlotMask; slots_[next] != 0; next = (next + 1) & kSlotMask) {
    const std::size_t home = slots_[next] & kSlotMask;
    // The entry at `next` stays when its home lies cyclically in (hole, next].
    const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (!stays) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = 0;
}

}  // namespace palaverlink
