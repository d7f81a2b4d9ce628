#include "sessions/sync_schedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace palaverlink {
namespace {

// What happens, in order; each letter a step of the game thread: 'a' a join (or an interval tick
// while a sync is out) asks, 't' the one-second tick sends what is asked unless a sync is out,
// 'r' the latest sync is answered, 'o' the first sync sent is answered, 's' a second passes.
// `sent`: how many syncs went out; `out`: whether one is out at the end.
struct ScheduleCase {
  const char* what;
  std::string steps;
  int sent;
  bool out;
};

TEST(SyncSchedule, OneSyncForABurstAndNeverTwoOut) {
  const std::vector<ScheduleCase> cases = {
      {"the first list goes at the first tick after start-up", "t", 1, true},
      {"nothing asked, nothing sent", "trtt", 1, false},
      {"a burst of joins makes one sync", "traaaaat", 2, true},
      {"a join while one is out waits for its answer", "tat", 1, true},
      {"... and goes at the tick after it", "tatrt", 2, true},
      {"a sync never answered is lost after 30 seconds", "ta" + std::string(30, 's') + "t" + "s" + "t", 2,
       true},
      {"the late answer of a lost sync leaves the next one out", "ta" + std::string(31, 's') + "to", 2, true},
  };
  for (const ScheduleCase& c : cases) {
    SyncSchedule schedule;
    std::vector<std::uint64_t> sequences;
    for (const char step : c.steps) {
      if (step == 'a') schedule.Ask();
      if (step == 't' && schedule.Asked() && !schedule.Out()) {
        sequences.push_back(schedule.NextSequence());
        schedule.Sent();
      }
      if (step == 'r' && !sequences.empty()) schedule.Answered(sequences.back());
      if (step == 'o' && !sequences.empty()) schedule.Answered(sequences.front());
      if (step == 's') schedule.SecondPassed();
    }
    EXPECT_EQ(static_cast<int>(sequences.size()), c.sent) << c.what;
    EXPECT_EQ(schedule.Out(), c.out) << c.what;
  }
}

}  // namespace
}  // namespace palaverlink
