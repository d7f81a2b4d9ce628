// The one guard policy of the plug-in. Every entry from the host (each hook body, each timer
// callback, each request completion) runs its work inside exactly one guard named after that
// entry, so that no exception ever reaches the framework. A failure writes one warning naming the
// entry; further failures of the same entry stay quiet until it has run once without one, so a
// lasting fault on a timer writes one line, not one per tick. A guard reached inside another
// guard only runs its work: the outermost guard catches and keeps the record, so nested guards
// never clear each other's record.
#pragma once

#include <exception>
#include <string_view>

namespace palaverlink {

namespace guard_detail {
// True while a guard runs its work (the game thread runs one entry at a time).
bool& Active();
void ReportFailure(std::string_view entry, const char* reason) noexcept;
void ReportSuccess(std::string_view entry) noexcept;
}  // namespace guard_detail

template <typename Work>
void RunGuarded(std::string_view entry, Work&& work) {
  bool& active = guard_detail::Active();
  if (active) {
    // Nested: whatever escapes goes to the outer guard, which is still running.
    work();
    return;
  }
  active = true;
  try {
    work();
  } catch (const std::exception& error) {
    active = false;
    guard_detail::ReportFailure(entry, error.what());
    return;
  } catch (...) {
    active = false;
    guard_detail::ReportFailure(entry, "unknown exception");
    return;
  }
  active = false;
  guard_detail::ReportSuccess(entry);
}

}  // namespace palaverlink
