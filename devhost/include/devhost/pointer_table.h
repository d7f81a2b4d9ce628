// Values by address in one flat array, found by linear probing. The game's allocator looks a buffer
// up on every allocation, read and free: here that is a probe or two in memory at hand, where a
// node-based map allocates a node for every buffer and follows a pointer to reach it. Null is no
// key: it marks an empty slot.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace devhost {

template <typename Value>
class PointerTable {
 public:
  explicit PointerTable(std::size_t expected = 0) {
    Rehash(std::bit_ceil(std::max<std::size_t>(16, expected * 2)));
  }

  Value* Find(const void* key) {
    for (std::size_t i = Home(key);; i = Next(i)) {
      if (slots_[i].key == key) return &slots_[i].value;
      if (slots_[i].key == nullptr) return nullptr;
    }
  }
  const Value* Find(const void* key) const { return const_cast<PointerTable*>(this)->Find(key); }

  // Adds `key`, or gives it a new value. At most half the slots are used: probes stay short.
  void Put(void* key, const Value& value) {
    if ((size_ + 1) * 2 > slots_.size()) Rehash(slots_.size() * 2);
    std::size_t i = Home(key);
    while (slots_[i].key != nullptr && slots_[i].key != key) i = Next(i);
    if (slots_[i].key == nullptr) ++size_;
    slots_[i] = Slot{key, value};
  }

  // Removes `key` and gives its value; empty when it is not there. The entries after it move back
  // into the gap where their probe allows, so no marker of a removed entry is left to lengthen
  // later probes.
  std::optional<Value> Erase(const void* key) {
    std::size_t gap = Home(key);
    while (slots_[gap].key != key) {
      if (slots_[gap].key == nullptr) return std::nullopt;
      gap = Next(gap);
    }
    std::optional<Value> removed = slots_[gap].value;
    for (std::size_t i = Next(gap); slots_[i].key != nullptr; i = Next(i)) {
      // Movable unless its home lies after the gap, up to where it stands.
      if (((i - Home(slots_[i].key)) & mask_) >= ((i - gap) & mask_)) {
        slots_[gap] = slots_[i];
        gap = i;
      }
    }
    slots_[gap] = Slot{};
    --size_;
    return removed;
  }

  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const Slot& slot : slots_)
      if (slot.key != nullptr) visit(slot.key, slot.value);
  }
  std::size_t size() const { return size_; }

 private:
  struct Slot {
    void* key = nullptr;
    Value value{};
  };

  std::size_t Home(const void* key) const {
    // Buffers are 16-byte aligned, so the low bits say nothing; Fibonacci hashing spreads the rest.
    const std::uint64_t address = reinterpret_cast<std::uintptr_t>(key) >> 4;
    return static_cast<std::size_t>((address * 0x9E3779B97F4A7C15ULL) >> shift_);
  }
  std::size_t Next(std::size_t i) const { return (i + 1) & mask_; }
  void Rehash(std::size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    shift_ = 64 - std::countr_zero(capacity);
    size_ = 0;
    for (const Slot& slot : old)
      if (slot.key != nullptr) Put(slot.key, slot.value);
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  int shift_ = 64;
  std::size_t size_ = 0;
};

}  // namespace devhost
