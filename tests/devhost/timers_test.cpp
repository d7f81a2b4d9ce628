// Timers fire at their interval on the manual clock, in time order.
#include <gmock/gmock.h>

#include "host_fixture.h"

namespace devhost::testing {
namespace {

using namespace std::chrono_literals;
using TimersTest = HostTest;

TEST_F(TimersTest, RecurringTimerFiresOncePerIntervalAndCatchesUpWithinOneAdvance) {
  std::vector<std::int64_t> fired_at;
  API::Timer::Get().RecurringExecuteInternal([&] { fired_at.push_back(env().NowMs()); }, 5, -1, false);
  EXPECT_THAT(host().TimerIntervals(), ::testing::ElementsAre(5));

  host().Advance(4999ms);
  EXPECT_TRUE(fired_at.empty());
  host().Advance(1ms);
  EXPECT_THAT(fired_at, ::testing::ElementsAre(5000));
  host().Advance(16s);
  EXPECT_THAT(fired_at, ::testing::ElementsAre(5000, 10000, 15000, 20000));
  EXPECT_EQ(env().NowMs(), 21000);
}

TEST_F(TimersTest, TimersRunInTimeOrderWithTiesInRegistrationOrder) {
  std::vector<std::string> order;
  auto& timer = API::Timer::Get();
  timer.RecurringExecuteInternal([&] { order.push_back("three"); }, 3, -1, false);
  timer.RecurringExecuteInternal([&] { order.push_back("two"); }, 2, -1, false);
  timer.RecurringExecuteInternal([&] { order.push_back("six"); }, 6, -1, false);
  host().Advance(6s);
  EXPECT_THAT(order, ::testing::ElementsAre("two", "three", "two", "three", "two", "six"));
}

TEST_F(TimersTest, CountLimitsTheRunsAndTheCallbackIsACopy) {
  int runs = 0;
  {
    std::function<void()> callback = [&] { ++runs; };
    API::Timer::Get().RecurringExecuteInternal(callback, 1, 2, false);
  }
  host().Advance(10s);
  EXPECT_EQ(runs, 2);
  EXPECT_TRUE(host().TimerIntervals().empty());
}

TEST_F(TimersTest, TimerRegisteredByATimerStartsCountingFromThen) {
  std::vector<std::int64_t> inner_runs;
  bool registered = false;
  API::Timer::Get().RecurringExecuteInternal(
      [&] {
        if (registered) return;
        registered = true;
        API::Timer::Get().RecurringExecuteInternal([&] { inner_runs.push_back(env().NowMs()); }, 2, -1,
                                                   false);
      },
      3, -1, false);
  host().Advance(8s);
  EXPECT_THAT(inner_runs, ::testing::ElementsAre(5000, 7000));
}

}  // namespace
}  // namespace devhost::testing
