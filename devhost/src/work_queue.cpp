#include "work_queue.h"

#include <utility>

namespace devhost {

void WorkQueue::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    items_.push_back(std::move(work));
  }
  wake_.notify_all();
}

std::deque<std::function<void()>> WorkQueue::Wait(std::optional<std::chrono::milliseconds> timeout) {
  std::unique_lock lock(mutex_);
  auto ready = [this] { return !items_.empty() || stop_requested_; };
  if (timeout) {
    wake_.wait_for(lock, *timeout, ready);
  } else {
    wake_.wait(lock, ready);
  }
  return std::exchange(items_, {});
}

void WorkQueue::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    stop_requested_ = true;
  }
  wake_.notify_all();
}

bool WorkQueue::TakeStopRequest() {
  std::lock_guard lock(mutex_);
  return std::exchange(stop_requested_, false);
}

void WorkQueue::Close() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    dropped.swap(items_);
  }
}

}  // namespace devhost
