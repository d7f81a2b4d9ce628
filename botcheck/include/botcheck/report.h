// One line a check: "ok: NAME", "FAIL: NAME: what was wrong - what the plug-in would do", or
// "skip: NAME: why it could not be checked".
#pragma once

#include <ostream>
#include <string>

namespace botcheck {

class Report {
 public:
  explicit Report(std::ostream& out) : out_(out) {}

  void Ok(const std::string& name);
  void Fail(const std::string& name, const std::string& problem, const std::string& consequence);
  void Skip(const std::string& name, const std::string& reason);
  // "botcheck: N checks, N failed, N skipped"
  void Summary();

  int failures() const { return failures_; }

 private:
  std::ostream& out_;
  int checks_ = 0;
  int failures_ = 0;
  int skipped_ = 0;
};

}  // namespace botcheck
