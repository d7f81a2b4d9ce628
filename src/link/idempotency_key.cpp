#include "link/idempotency_key.h"

#include <fmt/format.h>

#include <random>

#include "core/host/host_api.h"

namespace palaverlink {
namespace {

struct KeyRecord {
  std::uint64_t loadPrefix = 0;
  std::uint64_t posts = 0;
};

KeyRecord& Keys() {
  static KeyRecord record;
  return record;
}

// SplitMix64's finaliser: spreads the bits of the inputs over the whole prefix.
std::uint64_t Mix(std::uint64_t value) {
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

// From the system's random source and the clock, so that two servers started in the same
// millisecond, or a random source that repeats itself, still give different prefixes.
std::uint64_t DrawLoadPrefix() {
  std::random_device source;
  const std::uint64_t random = (std::uint64_t{source()} << 32) ^ source();
  return Mix(random ^ Mix(static_cast<std::uint64_t>(host::SystemTimeMs())));
}

}  // namespace

std::string NewIdempotencyKey() {
  KeyRecord& keys = Keys();
  if (keys.loadPrefix == 0) keys.loadPrefix = DrawLoadPrefix();
  return fmt::format("{:016x}-{}", keys.loadPrefix, ++keys.posts);
}

void ResetIdempotencyKeys() { Keys() = KeyRecord{}; }

}  // namespace palaverlink
