// Requests in flight with the completion that their owner gave, each tagged with its owner, so that
// the host can say whose completions are still out (and drop them when asked to).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "hook_table.h"

namespace devhost {

class RequestRegistry {
 public:
  using Completion = std::function<void(bool success, std::string text)>;

  struct Taken {
    OwnerId owner = 0;
    Completion completion;
  };

  // Returns the key under which the transport reports the outcome.
  std::uint64_t Add(OwnerId owner, Completion completion);
  // The completion for `key`, once; nothing when it was dropped or taken before.
  std::optional<Taken> Take(std::uint64_t key);
  // Destroys the completions of `owner` now; their outcomes will find nothing. Returns how many.
  std::size_t DropAllOf(OwnerId owner);
  std::size_t CountOf(OwnerId owner) const;
  void Clear();
  std::size_t InFlight() const { return in_flight_.size(); }

 private:
  std::uint64_t next_key_ = 1;
  std::map<std::uint64_t, Taken> in_flight_;
};

}  // namespace devhost
