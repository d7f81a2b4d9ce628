#include "core/host/load_generation.h"

#include <atomic>

namespace palaverlink::host {
namespace {

// Never reset: a pinned library keeps counting across loads, so no generation number comes back.
std::atomic<LoadGeneration> last_begun{0};
std::atomic<LoadGeneration> running{0};

}  // namespace

void BeginLoad() noexcept { running = ++last_begun; }

void EndLoad() noexcept { running = 0; }

LoadGeneration CurrentLoad() noexcept { return running; }

bool IsRunningLoad(LoadGeneration generation) noexcept { return generation != 0 && generation == running; }

}  // namespace palaverlink::host
