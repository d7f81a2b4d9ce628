#include "chat/outbound_batch.h"

#include <algorithm>

namespace palaverlink {
namespace {

bool Earlier(const TimedElement& a, const TimedElement& b) {
  return a.createdAt != b.createdAt ? a.createdAt < b.createdAt : a.index < b.index;
}

}  // namespace

OutboundBatchChooser::OutboundBatchChooser(std::size_t limit) : limit_(std::max<std::size_t>(limit, 1)) {
  earliest_.reserve(limit_ + 1);
}

void OutboundBatchChooser::Offer(const TimedElement& element) {
  if (offered_ == 0 || element.createdAt < earliest_.front().createdAt) {
    at_least_time_ = 1;
  } else if (element.createdAt == earliest_.front().createdAt) {
    ++at_least_time_;
  }
  ++offered_;
  if (earliest_.size() == limit_ + 1) {
    if (!Earlier(element, earliest_.back())) return;
    earliest_.pop_back();
  }
  earliest_.insert(std::upper_bound(earliest_.begin(), earliest_.end(), element, Earlier), element);
}

OutboundBatch OutboundBatchChooser::Choose(std::size_t room) const {
  room = std::clamp<std::size_t>(room, 1, limit_);
  OutboundBatch batch;
  std::size_t taken = earliest_.size();
  if (offered_ > room) {
    taken = room;
    while (taken > 0 && earliest_[taken].createdAt == earliest_[taken - 1].createdAt) --taken;
    if (taken == 0) {
      taken = std::min(at_least_time_, limit_);
      batch.dropped = at_least_time_ - taken;
    }
    batch.more = offered_ > taken + batch.dropped;
  }
  batch.now.assign(earliest_.begin(), earliest_.begin() + static_cast<std::ptrdiff_t>(taken));
  std::sort(batch.now.begin(), batch.now.end(),
            [](const TimedElement& a, const TimedElement& b) { return a.index < b.index; });
  return batch;
}

}  // namespace palaverlink
