#include "core/warning_pace.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace palaverlink {
namespace {

struct PaceCase {
  const char* what;
  std::vector<std::int64_t> occurrences;  // ms, in order
  std::vector<std::optional<std::size_t>> written;
};

TEST(WarningPace, AtMostOneAMinuteAndTheNextCountsWhatWasHeldBack) {
  const std::vector<PaceCase> cases = {
      {"the first is written at once", {1000}, {1}},
      {"a burst within the minute is held back", {0, 10, 59'999}, {1, std::nullopt, std::nullopt}},
      {"the first after the minute counts the held ones",
       {0, 10, 20, 60'000},
       {1, std::nullopt, std::nullopt, 3}},
      {"quiet minutes cost nothing", {0, 600'000, 1'200'000}, {1, 1, 1}},
      {"a clock stepped back writes at once", {500'000, 1000}, {1, 1}},
  };
  for (const PaceCase& c : cases) {
    WarningPace pace;
    std::vector<std::optional<std::size_t>> written;
    for (const std::int64_t at : c.occurrences) written.push_back(pace.Note(at));
    EXPECT_EQ(written, c.written) << c.what;
  }
}

}  // namespace
}  // namespace palaverlink
