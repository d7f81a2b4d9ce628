// The verdicts of one run: a fixed list of checks, each printed once at the end as "ok: NAME",
// "FAIL: NAME: what was wrong - what the plug-in would do", "warning: NAME: ... - ..." or
// "not checked: NAME: why", then a count. A check that saw no evidence is never printed as ok.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace botcheck {

// The exit status of palaverlink-botcheck.
enum ExitCode : int {
  kAllOk = 0,       // every check ok (warnings allowed)
  kFailed = 1,      // a check failed
  kBadCommand = 2,  // the command line could not be read
  kIncomplete = 3,  // nothing failed, but a check could not be made: the bot is not shown to be right
  kStopped = 4,     // nothing answers at the URL, the bot wants a key that was not given, or refuses it
};

class Report {
 public:
  // The names of the run's checks, in the order they are printed.
  explicit Report(std::vector<std::string> checks);

  // Evidence about a check. A failure outweighs a warning, a warning outweighs ok, ok outweighs
  // "not checked"; of two of a kind the first is kept.
  // `measured`, when given, is printed after the name in brackets.
  void Ok(const std::string& check, const std::string& measured = {});
  void Fail(const std::string& check, const std::string& problem, const std::string& consequence);
  void Warn(const std::string& check, const std::string& problem, const std::string& consequence);
  void NotChecked(const std::string& check, const std::string& why);

  // The run cannot go on: only this line is printed.
  void Stop(const std::string& what_to_do);

  void Print(std::ostream& out) const;
  ExitCode Exit() const;

 private:
  enum class Verdict { kNone, kNotChecked, kOk, kWarning, kFail };
  struct Entry {
    std::string name;
    Verdict verdict = Verdict::kNone;
    std::string text;  // after the name: ": problem - consequence" or ": why"
  };

  Entry& Find(const std::string& check);
  void Record(const std::string& check, Verdict verdict, std::string text);

  std::vector<Entry> entries_;
  std::string stopped_;
};

}  // namespace botcheck
