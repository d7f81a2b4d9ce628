#include "botcheck/report.h"

#include <stdexcept>

namespace botcheck {

Report::Report(std::vector<std::string> checks) {
  for (std::string& name : checks) entries_.push_back({std::move(name), Verdict::kNone, {}});
}

Report::Entry& Report::Find(const std::string& check) {
  for (Entry& entry : entries_) {
    if (entry.name == check) return entry;
  }
  throw std::logic_error("not a check of this run: " + check);
}

void Report::Record(const std::string& check, Verdict verdict, std::string text) {
  Entry& entry = Find(check);
  if (verdict <= entry.verdict) return;
  entry.verdict = verdict;
  entry.text = std::move(text);
}

void Report::Ok(const std::string& check, const std::string& measured) {
  Record(check, Verdict::kOk, measured.empty() ? std::string() : " (" + measured + ")");
}

void Report::Fail(const std::string& check, const std::string& problem, const std::string& consequence) {
  Record(check, Verdict::kFail, ": " + problem + " - " + consequence);
}

void Report::Warn(const std::string& check, const std::string& problem, const std::string& consequence) {
  Record(check, Verdict::kWarning, ": " + problem + " - " + consequence);
}

void Report::NotChecked(const std::string& check, const std::string& why) {
  Record(check, Verdict::kNotChecked, ": " + why);
}

void Report::Stop(const std::string& what_to_do) { stopped_ = what_to_do; }

void Report::Print(std::ostream& out) const {
  if (!stopped_.empty()) {
    out << "stopped: " << stopped_ << '\n' << std::flush;
    return;
  }
  int counts[5] = {};
  for (const Entry& entry : entries_) {
    ++counts[static_cast<int>(entry.verdict)];
    // In the order of Verdict: kNone, kNotChecked, kOk, kWarning, kFail.
    static constexpr const char* kPrefixes[] = {
        "not checked: ", "not checked: ", "ok: ", "warning: ", "FAIL: "};
    const bool nothing_said = entry.verdict == Verdict::kNone;
    out << kPrefixes[static_cast<int>(entry.verdict)] << entry.name
        << (nothing_said ? ": the run gave nothing to check it against" : entry.text) << '\n';
  }
  const int not_checked =
      counts[static_cast<int>(Verdict::kNone)] + counts[static_cast<int>(Verdict::kNotChecked)];
  out << "botcheck: " << entries_.size() << " checks, " << counts[static_cast<int>(Verdict::kOk)] << " ok, "
      << counts[static_cast<int>(Verdict::kFail)] << " failed, "
      << counts[static_cast<int>(Verdict::kWarning)] << " warnings, " << not_checked << " not checked";
  if (counts[static_cast<int>(Verdict::kFail)] == 0 && not_checked > 0) out << ": the run is incomplete";
  out << '\n' << std::flush;
}

ExitCode Report::Exit() const {
  if (!stopped_.empty()) return kStopped;
  bool incomplete = false;
  for (const Entry& entry : entries_) {
    if (entry.verdict == Verdict::kFail) return kFailed;
    if (entry.verdict == Verdict::kNone || entry.verdict == Verdict::kNotChecked) incomplete = true;
  }
  return incomplete ? kIncomplete : kAllOk;
}

}  // namespace botcheck
