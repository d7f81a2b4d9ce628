#include "core/guard.h"

#include <exception>
#include <set>
#include <string>

#include "core/log_channel.h"
#include "core/log_messages.h"

namespace palaverlink {
namespace {

// The names whose last run failed: their next failure stays quiet, so a fault that repeats on
// every timer tick writes one line, not one per tick.
std::set<std::string, std::less<>>& FailingWork() {
  static std::set<std::string, std::less<>> failing;
  return failing;
}

void ReportFailure(std::string_view what, const char* reason) noexcept {
  try {
    if (!FailingWork().emplace(what).second) return;
    Log().warn(messages::kUnexpectedFailure, what, reason);
  } catch (...) {
    // Nothing more can be done without risking the host.
  }
}

}  // namespace

void RunGuarded(std::string_view what, const std::function<void()>& work) noexcept {
  try {
    work();
  } catch (const std::exception& error) {
    ReportFailure(what, error.what());
    return;
  } catch (...) {
    ReportFailure(what, "unknown exception");
    return;
  }
  if (auto it = FailingWork().find(what); it != FailingWork().end()) FailingWork().erase(it);
}

}  // namespace palaverlink
