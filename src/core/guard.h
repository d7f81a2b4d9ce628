// The one guard policy of the plug-in. Every entry from the host (Plugin_Init and Plugin_Unload,
// each hook body, each timer callback, each request completion) runs its work inside exactly one
// guard named after that entry, so that no exception ever reaches the framework. A failure writes
// one warning naming the entry; further failures of the same entry stay quiet until it has run once
// without one, so a lasting fault on a timer writes one line, not one per tick. A guard reached
// inside a running guard of the same name only runs its work: the outer one catches and keeps the
// record, so two guards of one name never clear each other's record. A guard of another name
// catches for itself.
#pragma once

#include <exception>
#include <string_view>

namespace palaverlink {

namespace guard_detail {
// True while a guard of this name runs its work.
bool IsRunning(std::string_view entry) noexcept;
// Marks `entry` as running for its own lifetime.
class RunningEntry {
 public:
  explicit RunningEntry(std::string_view entry);
  ~RunningEntry();
  RunningEntry(const RunningEntry&) = delete;
  RunningEntry& operator=(const RunningEntry&) = delete;
};
void ReportFailure(std::string_view entry, const char* reason) noexcept;
void ReportSuccess(std::string_view entry) noexcept;
}  // namespace guard_detail

// Forgets which entries failed last. The guards running now are the calls on the stack, not kept
// state: they end on their own, so a reset from inside a guard leaves them be.
void ResetGuards();

template <typename Work>
void RunGuarded(std::string_view entry, Work&& work) {
  if (guard_detail::IsRunning(entry)) {
    // Nested in a guard of the same name: whatever escapes goes to that one.
    work();
    return;
  }
  try {
    const guard_detail::RunningEntry running(entry);
    work();
  } catch (const std::exception& error) {
    guard_detail::ReportFailure(entry, error.what());
    return;
  } catch (...) {
    guard_detail::ReportFailure(entry, "unknown exception");
    return;
  }
  guard_detail::ReportSuccess(entry);
}

}  // namespace palaverlink
