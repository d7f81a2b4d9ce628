#include "chat/outbound_batch.h"

#include <algorithm>
#include <numeric>

namespace palaverlink {
namespace {

// A cut after the first `taken` of `order` loses nothing when the first element left lies above
// both the cursor and the last element taken.
bool LosesNothing(const std::vector<std::int64_t>& times, std::size_t taken, std::int64_t cursor) {
  if (taken == times.size()) return true;
  const std::int64_t left_behind = taken == 0 ? cursor : std::max(cursor, times[taken - 1]);
  return times[taken] > left_behind;
}

}  // namespace

OutboundBatch ChooseOutboundBatch(const std::vector<std::optional<std::int64_t>>& createdAt,
                                  std::int64_t cursor, std::size_t limit) {
  OutboundBatch batch;
  std::vector<std::size_t> timed;
  for (std::size_t index = 0; index < createdAt.size(); ++index) {
    if (createdAt[index]) timed.push_back(index);
  }
  if (timed.size() <= limit) {
    batch.now.resize(createdAt.size());
    std::iota(batch.now.begin(), batch.now.end(), std::size_t{0});
    return batch;
  }

  std::stable_sort(timed.begin(), timed.end(),
                   [&](std::size_t a, std::size_t b) { return *createdAt[a] < *createdAt[b]; });
  std::vector<std::int64_t> times;
  times.reserve(timed.size());
  for (std::size_t index : timed) times.push_back(*createdAt[index]);

  std::size_t taken = std::max<std::size_t>(limit, 1);
  while (taken > 0 && !LosesNothing(times, taken, cursor)) --taken;
  if (taken == 0) {
    // The first run of equal times is longer than the limit: show all of it.
    taken = std::max<std::size_t>(limit, 1);
    while (!LosesNothing(times, taken, cursor)) ++taken;
  }

  std::vector<bool> chosen(createdAt.size(), false);
  for (std::size_t index = 0; index < createdAt.size(); ++index) chosen[index] = !createdAt[index];
  for (std::size_t rank = 0; rank < taken; ++rank) chosen[timed[rank]] = true;
  for (std::size_t index = 0; index < createdAt.size(); ++index) {
    if (chosen[index]) batch.now.push_back(index);
  }
  batch.more = taken < times.size();
  return batch;
}

}  // namespace palaverlink
