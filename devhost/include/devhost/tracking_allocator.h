// The game's allocator (FMemory.Malloc, Realloc, Free), tracking every buffer it hands out so that
// leaks, double frees and frees of buffers it never handed out are reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace devhost {

class TrackingAllocator {
 public:
  TrackingAllocator() = default;
  ~TrackingAllocator();
  TrackingAllocator(const TrackingAllocator&) = delete;
  TrackingAllocator& operator=(const TrackingAllocator&) = delete;

  void* Malloc(std::size_t count, std::uint32_t alignment);
  void* Realloc(void* original, std::size_t count, std::uint32_t alignment);
  void Free(void* original);  // null is accepted and ignored

  std::size_t LiveCount() const;
  std::size_t LiveBytes() const;
  // Every misuse seen so far ("double free of 0x...", "free of a foreign buffer 0x...").
  std::vector<std::string> Errors() const;
  // Empty when nothing is live and nothing was misused; otherwise one text per problem.
  std::vector<std::string> Problems() const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<void*, std::size_t> live_;
  std::unordered_map<void*, bool> freed_;  // addresses freed and not handed out again
  std::vector<std::string> errors_;
};

}  // namespace devhost
