#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "log_lines.h"
#include "support/plugin_fixture.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using namespace std::chrono_literals;

constexpr char kChatHandler[] = "AShooterPlayerController.ServerSendChatMessage_Implementation";
constexpr char kLogout[] = "AShooterGameMode.Logout";
constexpr char kNewPlayer[] = "AShooterGameMode.HandleNewPlayer_Implementation";

class Lifecycle : public PluginFixture {
 protected:
  std::vector<devhost::HttpRequest> RequestsTo(const std::string& url) {
    std::vector<devhost::HttpRequest> found;
    for (const auto& request : env().Requests()) {
      if (request.url == url) found.push_back(request);
    }
    return found;
  }
};

TEST_F(Lifecycle, HealthProbeRunsEveryThirtySeconds) {
  Load(R"({"ApiKey":"abc"})");
  Advance(29s);
  EXPECT_THAT(RequestsTo("http://127.0.0.1:8765/health"), IsEmpty());
  Advance(1s);
  auto probes = RequestsTo("http://127.0.0.1:8765/health");
  ASSERT_EQ(probes.size(), 1u);
  EXPECT_EQ(probes[0].method, "GET");
  EXPECT_THAT(probes[0].headers, ElementsAre("Authorization: Bearer abc"));

  host().Complete(probes[0].id, false, "Couldn't connect to server");
  Advance(60s);
  EXPECT_EQ(RequestsTo("http://127.0.0.1:8765/health").size(), 3u);
  EXPECT_EQ(SplitPluginLines(PluginLog()).size(), 1u);  // only the loaded line: a failed probe says nothing
}

TEST_F(Lifecycle, GameRunsAsBeforeWhileLoadedAndAfterUnload) {
  game().CreateWorld(u"TheIsland");
  game().Join({11, u"Ann", u"ann", u"", true});
  game().Join({12, u"Bob", u"bob", u"", true});
  Load("{}");

  game().Chat(11, u"while loaded", 0);
  host().UnloadPlugin();
  EXPECT_THAT(host().InstalledHooks(), IsEmpty());
  game().Chat(12, u"after unload", 0);
  game().Leave(11);

  ASSERT_EQ(game().HandledChats().size(), 2u);
  EXPECT_EQ(game().HandledChats()[0].text, u"while loaded");
  EXPECT_EQ(game().HandledChats()[1].text, u"after unload");
  ASSERT_EQ(game().HandledLogouts().size(), 1u);
  EXPECT_EQ(game().HandledLogouts()[0].player, 11u);
}

TEST_F(Lifecycle, TimersNeverFireAfterUnload) {
  Load("{}");
  Advance(30s);
  const std::size_t before = env().Requests().size();
  EXPECT_GE(before, 1u);
  host().UnloadPlugin();
  Advance(5min);
  EXPECT_EQ(env().Requests().size(), before);
  for (const auto& line : host().LogLines()) {
    EXPECT_EQ(line.text.find("left installed"), std::string::npos) << line.text;
  }
}

TEST_F(Lifecycle, AHookTheFrameworkWillNotInstallIsAWarningNamingIt) {
  host().FailHooksOn(kLogout, devhost::Host::HookFailure::kRefused);
  game().CreateWorld(u"TheIsland");
  game().Join({11, u"Ann", u"ann", u"", true});
  Load(R"({"MapId":"the-island"})");

  EXPECT_THAT(
      SplitPluginLines(PluginLog()),
      ElementsAre(Warning("Palaverlink: could not hook AShooterGameMode.Logout - logouts will not reach "
                          "the bot. Use a version of the plug-in made for this game and framework."),
                  Info("Palaverlink loaded. Bridge=http://127.0.0.1:8765 Map=the-island Debug=off")));
  EXPECT_THAT(host().InstalledHooks(), UnorderedElementsAre(kChatHandler, kNewPlayer));
  // The other hook works as ever; the game's logout runs unhooked.
  game().Chat(11, u"still heard", 0);
  game().Leave(11);
  EXPECT_EQ(RequestsTo("http://127.0.0.1:8765/api/chat/inbound").size(), 1u);
  EXPECT_THAT(RequestsTo("http://127.0.0.1:8765/api/sessions/leave"), IsEmpty());
  EXPECT_EQ(game().HandledLogouts().size(), 1u);
}

TEST_F(Lifecycle, StartUpAndUnloadCatchWhatTheFrameworkThrows) {
  host().FailHooksOn(kLogout, devhost::Host::HookFailure::kThrows);
  Load("{}");
  host().UnloadPlugin();

  // Nothing reaches the framework (the fixture checks it at the end); each entry writes one warning.
  EXPECT_THAT(
      SplitPluginLines(PluginLog()),
      ElementsAre(Warning("Palaverlink: start-up failed unexpectedly: cannot hook AShooterGameMode.Logout"),
                  Warning("Palaverlink: unload failed unexpectedly: cannot unhook AShooterGameMode.Logout")));
  EXPECT_THAT(host().EscapedExceptions(), IsEmpty());
}

TEST_F(Lifecycle, UnloadOfAnInertPluginIsHarmless) {
  LoadWithoutConfig();
  host().UnloadPlugin();
  EXPECT_THAT(host().InstalledHooks(), IsEmpty());
  EXPECT_EQ(SplitPluginLines(PluginLog()).size(), 1u);  // nothing written at unload
}

}  // namespace
}  // namespace palaverlink::testing
