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

// Entries from the host whose last run failed (their next failure stays quiet).
std::set<std::string, std::less<>>& FailingEntries() {
  static std::set<std::string, std::less<>> failing;
  return failing;
}

// The names of the guards running right now, outermost first.
std::vector<std::string_view>& RunningEntries() {
  static std::vector<std::string_view> running;
  return running;
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
