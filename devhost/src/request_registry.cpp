#include "request_registry.h"

#include <algorithm>

namespace devhost {

std::uint64_t RequestRegistry::Add(OwnerId owner, Completion completion) {
  const std::uint64_t key = next_key_++;
  in_flight_.emplace(key, Taken{owner, std::move(completion)});
  return key;
}

std::optional<RequestRegistry::Taken> RequestRegistry::Take(std::uint64_t key) {
  auto it = in_flight_.find(key);
  if (it == in_flight_.end()) return std::nullopt;
  Taken taken = std::move(it->second);
  in_flight_.erase(it);
  return taken;
}

std::size_t RequestRegistry::DropAllOf(OwnerId owner) {
  return static_cast<std::size_t>(
      std::erase_if(in_flight_, [owner](const auto& entry) { return entry.second.owner == owner; }));
}

std::size_t RequestRegistry::CountOf(OwnerId owner) const {
  return static_cast<std::size_t>(
      std::count_if(in_flight_.begin(), in_flight_.end(),
                    [owner](const auto& entry) { return entry.second.owner == owner; }));
}

void RequestRegistry::Clear() { in_flight_.clear(); }

}  // namespace devhost
