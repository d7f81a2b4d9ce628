// Work handed to the game loop from other threads (devserver's commands, HTTP completions).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace devhost {

class WorkQueue {
 public:
  // Dropped once the queue is closed.
  void Post(std::function<void()> work);
  // Waits until there is work or a stop request, at most `timeout` (for ever when none), and
  // takes every queued item.
  std::deque<std::function<void()>> Wait(std::optional<std::chrono::milliseconds> timeout);
  void RequestStop();
  // True once after RequestStop.
  bool TakeStopRequest();
  // Drops queued work and refuses new work.
  void Close();

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> items_;
  bool stop_requested_ = false;
  bool closed_ = false;
};

}  // namespace devhost
