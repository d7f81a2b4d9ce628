// A command handed to the framework runs only within the load that registered it: a framework that
// keeps it after an unload still finds it, and it does nothing.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "core/host/host_api.h"
#include "core/host/load_generation.h"
#include "devhost/text.h"

namespace palaverlink::testing {
namespace {

class Commands : public ComponentFixture {};

TEST_F(Commands, ACommandOfAnEndedLoadNeverRuns) {
  game().CreateWorld(u"TheIsland");
  game().Join({11, u"Ann", u"ann", u"", true});
  int runs = 0;
  host::RegisterCommand("Test.Count", [&runs](const host::CommandOrigin&) { ++runs; });
  ASSERT_TRUE(game().RunConsoleCommand(11, u"test.count"));
  ASSERT_TRUE(game().RunRconCommand(u"Test.Count now"));
  ASSERT_EQ(runs, 2);

  // Unloaded and loaded again; the framework still holds the earlier load's command.
  host::EndLoad();
  host::BeginLoad();
  EXPECT_TRUE(game().RunConsoleCommand(11, u"Test.Count"));
  EXPECT_TRUE(game().RunRconCommand(u"Test.Count"));
  EXPECT_EQ(runs, 2);

  host::RemoveCommand("Test.Count");
  EXPECT_FALSE(game().RunConsoleCommand(11, u"Test.Count"));
  EXPECT_FALSE(game().RunRconCommand(u"Test.Count"));
}

}  // namespace
}  // namespace palaverlink::testing
