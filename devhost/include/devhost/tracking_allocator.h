// The game's allocator (FMemory.Malloc, Realloc, Free), tracking every buffer it hands out so that
// leaks, double frees and frees of buffers it never handed out are reported.
//
// Buffers that the game keeps for itself (player names, tribe names, the player list, the text of
// a chat line while the handler runs) are "held": they are not leaks while the game holds them,
// and a Free or Realloc of one through FMemory is a misuse (the caller released a game string).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "devhost/pointer_table.h"

namespace devhost {

class TrackingAllocator {
 public:
  TrackingAllocator();
  ~TrackingAllocator();
  TrackingAllocator(const TrackingAllocator&) = delete;
  TrackingAllocator& operator=(const TrackingAllocator&) = delete;

  void* Malloc(std::size_t count, std::uint32_t alignment);
  void* Realloc(void* original, std::size_t count, std::uint32_t alignment);
  void Free(void* original);  // null is accepted and ignored

  // The game's own buffers (see above).
  void* MallocHeld(std::size_t count);
  void* ReallocHeld(void* original, std::size_t count);
  void FreeHeld(void* original);

  // True when `buffer` is live (held or not); `bytes` receives its size.
  bool Owns(const void* buffer, std::size_t* bytes = nullptr) const;

  // Buffers handed out through Malloc/Realloc and not freed yet (the game's held buffers excluded).
  std::size_t LiveCount() const;
  std::size_t LiveBytes() const;
  // Buffers the game holds for itself right now.
  std::size_t HeldCount() const;
  // Every misuse seen so far ("double free of 0x...", "free of a foreign buffer 0x...").
  std::vector<std::string> Errors() const;
  // Empty when nothing is live and nothing was misused; otherwise one text per problem.
  std::vector<std::string> Problems() const;

 private:
  struct Block {
    std::size_t bytes = 0;
    bool held = false;
    bool freed = false;  // in quarantine
  };

  void* Allocate(std::size_t count, std::uint32_t alignment, bool held);
  void* Reallocate(void* original, std::size_t count, std::uint32_t alignment, bool held);
  void Release(void* original, bool held);
  // Freed buffers stay reserved for a while, so that a second free of the same address is seen as
  // a double free rather than a free of some newer buffer at that address.
  void Quarantine(void* buffer, std::size_t bytes);

  mutable std::mutex mutex_;
  // Every buffer handed out and not yet given back to the system: live, or freed and in quarantine.
  // One entry for both, so that a buffer costs one insertion and one removal in all.
  PointerTable<Block> blocks_;
  std::deque<void*> quarantine_;  // oldest first
  std::vector<std::string> errors_;
};

}  // namespace devhost
