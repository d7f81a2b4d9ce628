#include "devhost/tracking_allocator.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#if defined(_WIN32)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define DEVHOST_POISON(address, size) __asan_poison_memory_region((address), (size))
#define DEVHOST_UNPOISON(address, size) __asan_unpoison_memory_region((address), (size))
#else
#define DEVHOST_POISON(address, size) ((void)(address), (void)(size))
#define DEVHOST_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace devhost {
namespace {

constexpr std::size_t kQuarantineLimit = 4096;
constexpr std::size_t kMinimumAlignment = 16;

void* RawAllocate(std::size_t count, std::uint32_t alignment) {
  const std::size_t align = std::max<std::size_t>(kMinimumAlignment, alignment);
  std::size_t bytes = std::max<std::size_t>(count, 1);
  bytes = (bytes + align - 1) / align * align;  // aligned_alloc wants a multiple of the alignment
#if defined(_WIN32)
  return _aligned_malloc(bytes, align);
#else
  return std::aligned_alloc(align, bytes);
#endif
}

void RawFree(void* buffer) {
#if defined(_WIN32)
  _aligned_free(buffer);
#else
  std::free(buffer);
#endif
}

std::string Address(const void* p) { return fmt::format("{}", p); }

}  // namespace

TrackingAllocator::TrackingAllocator() : blocks_(2 * kQuarantineLimit) {}

TrackingAllocator::~TrackingAllocator() {
  blocks_.ForEach([](void* buffer, const Block& block) {
    if (block.freed) DEVHOST_UNPOISON(buffer, block.bytes);
    RawFree(buffer);
  });
}

void* TrackingAllocator::Malloc(std::size_t count, std::uint32_t alignment) {
  return Allocate(count, alignment, false);
}
void* TrackingAllocator::Realloc(void* original, std::size_t count, std::uint32_t alignment) {
  return Reallocate(original, count, alignment, false);
}
void TrackingAllocator::Free(void* original) { Release(original, false); }

void* TrackingAllocator::MallocHeld(std::size_t count) { return Allocate(count, 0, true); }
void* TrackingAllocator::ReallocHeld(void* original, std::size_t count) {
  return Reallocate(original, count, 0, true);
}
void TrackingAllocator::FreeHeld(void* original) { Release(original, true); }

void* TrackingAllocator::Allocate(std::size_t count, std::uint32_t alignment, bool held) {
  void* buffer = RawAllocate(count, alignment);
  if (buffer == nullptr) return nullptr;
  std::lock_guard lock(mutex_);
  blocks_.Put(buffer, Block{count, held, false});
  return buffer;
}

void* TrackingAllocator::Reallocate(void* original, std::size_t count, std::uint32_t alignment, bool held) {
  if (original == nullptr) return Allocate(count, alignment, held);
  if (count == 0) {
    Release(original, held);
    return nullptr;
  }
  std::size_t old_bytes = 0;
  {
    std::lock_guard lock(mutex_);
    const Block* block = blocks_.Find(original);
    if (block == nullptr || block->freed) {
      errors_.push_back(fmt::format("{} of {} {}", "realloc",
                                    block != nullptr ? "a freed buffer" : "a foreign buffer",
                                    Address(original)));
      return nullptr;
    }
    if (block->held != held) {
      errors_.push_back(fmt::format("realloc of a buffer the game holds {}", Address(original)));
      return nullptr;
    }
    old_bytes = block->bytes;
  }
  void* moved = Allocate(count, alignment, held);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, original, std::min(old_bytes, count));
  Release(original, held);
  return moved;
}

void TrackingAllocator::Release(void* original, bool held) {
  if (original == nullptr) return;
  std::lock_guard lock(mutex_);
  Block* block = blocks_.Find(original);
  if (block == nullptr || block->freed) {
    errors_.push_back(block != nullptr ? "double free of " + Address(original)
                                       : "free of a foreign buffer " + Address(original));
    return;
  }
  if (block->held != held) {
    // The buffer stays valid: the game still uses it.
    errors_.push_back(held ? "the game freed a buffer it does not hold " + Address(original)
                           : "free of a buffer the game still holds " + Address(original));
    return;
  }
  block->freed = true;
  Quarantine(original, block->bytes);
}

void TrackingAllocator::Quarantine(void* buffer, std::size_t bytes) {
  DEVHOST_POISON(buffer, bytes);
  quarantine_.push_back(buffer);
  if (quarantine_.size() > kQuarantineLimit) {
    void* oldest = quarantine_.front();
    quarantine_.pop_front();
    const std::optional<Block> block = blocks_.Erase(oldest);  // one probe for both
    DEVHOST_UNPOISON(oldest, block->bytes);
    RawFree(oldest);
  }
}

bool TrackingAllocator::Owns(const void* buffer, std::size_t* bytes) const {
  std::lock_guard lock(mutex_);
  const Block* block = blocks_.Find(buffer);
  if (block == nullptr || block->freed) return false;
  if (bytes != nullptr) *bytes = block->bytes;
  return true;
}

std::size_t TrackingAllocator::LiveCount() const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  blocks_.ForEach([&](void*, const Block& block) { count += !block.held && !block.freed ? 1 : 0; });
  return count;
}

std::size_t TrackingAllocator::LiveBytes() const {
  std::lock_guard lock(mutex_);
  std::size_t total = 0;
  blocks_.ForEach([&](void*, const Block& block) { total += !block.held && !block.freed ? block.bytes : 0; });
  return total;
}

std::size_t TrackingAllocator::HeldCount() const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  blocks_.ForEach([&](void*, const Block& block) { count += block.held && !block.freed ? 1 : 0; });
  return count;
}

std::vector<std::string> TrackingAllocator::Errors() const {
  std::lock_guard lock(mutex_);
  return errors_;
}

std::vector<std::string> TrackingAllocator::Problems() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> problems = errors_;
  blocks_.ForEach([&](const void* buffer, const Block& block) {
    if (!block.held && !block.freed)
      problems.push_back(fmt::format("leak of {} byte(s) at {}", block.bytes, Address(buffer)));
  });
  return problems;
}

}  // namespace devhost
