#include "core/guard.h"

#include <algorithm>

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/plugin_state.h"

namespace palaverlink::guard_detail {

bool IsRunning(std::string_view entry) noexcept {
  const auto& running = State().runningEntries;
  return std::find(running.begin(), running.end(), entry) != running.end();
}

RunningEntry::RunningEntry(std::string_view entry) { State().runningEntries.push_back(entry); }

RunningEntry::~RunningEntry() { State().runningEntries.pop_back(); }

void ReportFailure(std::string_view entry, const char* reason) noexcept {
  try {
    if (!State().failingEntries.emplace(entry).second) return;
    Log().warn(messages::kUnexpectedFailure, entry, reason);
  } catch (...) {
    // Nothing more can be done without risking the host.
  }
}

void ReportSuccess(std::string_view entry) noexcept {
  auto& failing = State().failingEntries;
  if (failing.empty()) return;
  if (auto it = failing.find(entry); it != failing.end()) failing.erase(it);
}

}  // namespace palaverlink::guard_detail
