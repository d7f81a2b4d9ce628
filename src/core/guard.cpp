#include "core/guard.h"

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/log_channel.h"
#include "core/log_messages.h"

namespace palaverlink {
namespace {

// Every module's state lives on the heap and is never destroyed. The host may call into the
// plug-in while the process ends (Plugin_Unload as the framework shuts down), when the C++ runtime
// may already have destroyed the library's statics; memory that is never freed stays valid. The
// library is pinned in memory, so a reload finds the same state rather than a second copy.

// Entries from the host whose last run failed (their next failure stays quiet).
std::set<std::string, std::less<>>& FailingEntries() {
  static auto* const failing = new std::set<std::string, std::less<>>();
  return *failing;
}

// The names of the guards running right now, outermost first.
std::vector<std::string_view>& RunningEntries() {
  static auto* const running = new std::vector<std::string_view>();
  return *running;
}

}  // namespace

void ResetGuards() { FailingEntries().clear(); }

namespace guard_detail {

bool IsRunning(std::string_view entry) noexcept {
  const auto& running = RunningEntries();
  return std::find(running.begin(), running.end(), entry) != running.end();
}

RunningEntry::RunningEntry(std::string_view entry) { RunningEntries().push_back(entry); }

RunningEntry::~RunningEntry() { RunningEntries().pop_back(); }

void ReportFailure(std::string_view entry, const char* reason) noexcept {
  try {
    if (!FailingEntries().emplace(entry).second) return;
    Log().warn(messages::kUnexpectedFailure, entry, reason);
  } catch (...) {
    // Nothing more can be done without risking the host.
  }
}

void ReportSuccess(std::string_view entry) noexcept {
  auto& failing = FailingEntries();
  if (failing.empty()) return;
  if (auto it = failing.find(entry); it != failing.end()) failing.erase(it);
}

}  // namespace guard_detail
}  // namespace palaverlink
