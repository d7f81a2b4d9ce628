// The game thread: timers on the manual or the steady clock, work handed over by other threads.
#include <algorithm>
#include <future>
#include <stdexcept>

#include "host_impl.h"

namespace devhost {

ManualEnvironment& Host::Impl::Manual(const char* operation) {
  if (!env->IsManual()) throw std::logic_error(std::string(operation) + " needs the manual environment");
  return static_cast<ManualEnvironment&>(*env);
}

void Host::Impl::RunTimersUntil(std::int64_t limit_ms, bool move_clock) {
  std::int64_t due_ms = 0;
  while (auto due = timers.TakeDue(limit_ms, due_ms)) {
    if (move_clock && due_ms > env->NowMs()) {
      Manual("Advance").AdvanceClock(std::chrono::milliseconds(due_ms - env->NowMs()));
    }
    CallInto(due->owner, "timer callback", [&] { due->callback(); });
  }
}

void Host::Advance(std::chrono::milliseconds duration) {
  ManualEnvironment& manual = impl_->Manual("Advance");
  const std::int64_t target = manual.NowMs() + duration.count();
  impl_->RunTimersUntil(target, true);
  if (target > manual.NowMs()) manual.AdvanceClock(std::chrono::milliseconds(target - manual.NowMs()));
}

void Host::Complete(std::uint64_t request_id, bool success, const std::string& text) {
  if (!impl_->Manual("Complete").Complete(request_id, success, text)) {
    LogHostLine("devhost: no pending request " + std::to_string(request_id) + " to complete");
  }
}

void Host::Run(const std::function<void()>& end_of_tick) {
  Impl& impl = *impl_;
  impl.game_thread = std::this_thread::get_id();
  impl.loop_running = true;
  for (;;) {
    std::optional<std::chrono::milliseconds> wait;
    if (auto next = impl.timers.NextDueMs()) {
      wait = std::chrono::milliseconds(std::max<std::int64_t>(0, *next - impl.env->NowMs()));
    }
    for (auto& item : impl.work.Wait(wait)) {
      try {
        item();
      } catch (const std::exception& error) {
        LogHostLine(std::string("devhost: posted work failed: ") + error.what());
      }
    }
    impl.RunTimersUntil(impl.env->NowMs(), false);
    if (end_of_tick) end_of_tick();
    if (impl.work.TakeStopRequest()) break;
  }
  impl.loop_running = false;
}

void Host::Stop() { impl_->work.RequestStop(); }

void Host::Post(std::function<void()> work) { impl_->work.Post(std::move(work)); }

void Host::RunOnGameThread(const std::function<void()>& work) {
  // With the real environment the game thread is whichever thread runs the loop; work from any
  // other thread (the one that made the host included, before Run starts) waits for the loop.
  if (impl_->env->IsManual() || (impl_->loop_running && impl_->OnGameThread())) {
    work();
    return;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  impl_->work.Post([&] {
    try {
      work();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  finished.get();
}

}  // namespace devhost
