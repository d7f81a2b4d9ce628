#include "botcheck/report.h"

namespace botcheck {

void Report::Ok(const std::string& name) {
  ++checks_;
  out_ << "ok: " << name << '\n' << std::flush;
}

void Report::Fail(const std::string& name, const std::string& problem, const std::string& consequence) {
  ++checks_;
  ++failures_;
  out_ << "FAIL: " << name << ": " << problem << " - " << consequence << '\n' << std::flush;
}

void Report::Skip(const std::string& name, const std::string& reason) {
  ++checks_;
  ++skipped_;
  out_ << "skip: " << name << ": " << reason << '\n' << std::flush;
}

void Report::Summary() {
  out_ << "botcheck: " << checks_ << " checks, " << failures_ << " failed, " << skipped_ << " skipped\n"
       << std::flush;
}

}  // namespace botcheck
