#include "chat/shown_memory.h"

namespace palaverlink {
namespace {

// FNV-1a: a collision would hide one message, at odds of one in 2^64 per pair.
std::uint64_t Fingerprint(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

}  // namespace

bool ShownMemory::Contains(std::string_view element_text) const {
  return known_.contains(Fingerprint(element_text));
}

void ShownMemory::Remember(std::string_view element_text) {
  const std::uint64_t fingerprint = Fingerprint(element_text);
  if (!known_.insert(fingerprint).second) return;
  if (known_.size() > kRememberedMessages) known_.erase(order_[next_]);
  order_[next_] = fingerprint;
  next_ = (next_ + 1) % kRememberedMessages;
}

}  // namespace palaverlink
