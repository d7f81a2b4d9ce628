// The loader with a real plug-in library: start-up, unloading and what unloading must drop.
#include <gmock/gmock.h>

#include <fstream>

#include "host_fixture.h"
#include "test_plugin_paths.h"

namespace devhost::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kChat = "AShooterPlayerController.ServerSendChatMessage_Implementation";

class LoaderTest : public HostTest {
 protected:
  void Load(const std::vector<std::string>& options) {
    ConfigureTestPlugin(root(), options);
    const PluginLoadResult result = host().LoadPlugin(kTestPlugin);
    ASSERT_TRUE(result.loaded) << result.error;
  }

  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const LogLine& line : host().LogLines()) texts.push_back(line.text);
    return texts;
  }

  // The test plug-in's own lines, without their "[test-plugin] " mark.
  std::vector<std::string> PluginSaid() {
    std::vector<std::string> said;
    for (const LogLine& line : host().LogLines()) {
      if (line.text.rfind("[test-plugin] ", 0) == 0) said.push_back(line.text.substr(14));
    }
    return said;
  }
};

TEST_F(LoaderTest, PluginIsCopiedIntoTheServerDirectoryAndStarted) {
  Load({"url=http://127.0.0.1:8765/ping"});
  EXPECT_TRUE(host().PluginLoaded());
  EXPECT_TRUE(
      std::filesystem::exists(root() / "ArkApi" / "Plugins" / "Palaverlink" / kTestPlugin.filename()));
  EXPECT_THAT(PluginSaid(), ElementsAre("init"));
  EXPECT_THAT(host().InstalledHooks(), ElementsAre(kChat));
  EXPECT_THAT(host().TimerIntervals(), ElementsAre(1));
  ASSERT_EQ(env().Requests().size(), 1u);
  EXPECT_EQ(env().Requests()[0].method, "POST");
  EXPECT_EQ(env().Requests()[0].url, "http://127.0.0.1:8765/ping");
  EXPECT_EQ(env().Requests()[0].body, "ping");
  EXPECT_EQ(env().Requests()[0].content_type, "text/plain");

  game().CreateWorld(u"TheIsland");
  JoinPlayer(1, "Ann");
  game().Chat(1, u"hi", 0);
  host().Advance(2s);
  host().Complete(1, true, "pong");
  EXPECT_THAT(PluginSaid(),
              ElementsAre("init", "chat hook mode 0", "tick 1", "tick 2", "completion ok pong"));
  EXPECT_EQ(game().HandledChats().size(), 1u);
  EXPECT_THAT(host().EscapedExceptions(), IsEmpty());
}

TEST_F(LoaderTest, UnloadDropsTimersAndCompletionsAndTheHookGoes) {
  Load({"url=http://127.0.0.1:8765/ping"});
  host().UnloadPlugin();
  EXPECT_FALSE(host().PluginLoaded());
  EXPECT_THAT(host().TimerIntervals(), IsEmpty());
  EXPECT_THAT(host().InstalledHooks(), IsEmpty());

  // The library is gone: running any of its code now would crash, so none may run.
  host().Advance(5s);
  host().Complete(1, true, "late answer");
  game().CreateWorld(u"TheIsland");
  JoinPlayer(1, "Ann");
  game().Chat(1, u"after unload", 0);
  EXPECT_THAT(PluginSaid(), ElementsAre("init", "unload"));
  EXPECT_EQ(game().HandledChats().size(), 1u);
}

TEST_F(LoaderTest, HookLeftInstalledByThePluginIsRemovedByTheHost) {
  Load({"keep-hook"});
  host().UnloadPlugin();
  EXPECT_THAT(host().InstalledHooks(), IsEmpty());
  EXPECT_THAT(Texts(), Contains(HasSubstr("removed a hook on " + std::string(kChat))));
  game().CreateWorld(u"TheIsland");
  JoinPlayer(1, "Ann");
  game().Chat(1, u"safe", 0);
  EXPECT_EQ(game().HandledChats().size(), 1u);
}

TEST_F(LoaderTest, LoadingAgainGivesAFreshStart) {
  Load({});
  host().Advance(3s);
  host().UnloadPlugin();
  Load({});
  host().Advance(1s);
  EXPECT_THAT(PluginSaid(), ElementsAre("init", "tick 1", "tick 2", "tick 3", "unload", "init", "tick 1"));
}

TEST_F(LoaderTest, ExceptionsFromPluginCodeAreRecordedNotPassedOn) {
  Load({"url=http://127.0.0.1:8765/ping", "throw-in-timer", "throw-in-hook", "throw-in-completion"});
  game().CreateWorld(u"TheIsland");
  JoinPlayer(1, "Ann");
  EXPECT_NO_THROW(game().Chat(1, u"hi", 0));
  EXPECT_NO_THROW(host().Advance(1s));
  EXPECT_NO_THROW(host().Complete(1, false, "HTTP 500 Internal Server Error"));
  EXPECT_THAT(host().EscapedExceptions(),
              ElementsAre(HasSubstr("hook failed on purpose"), HasSubstr("timer failed on purpose"),
                          HasSubstr("completion failed on purpose")));
  EXPECT_EQ(game().HandledChats().size(), 1u) << "the detour passed the line on before it threw";
}

TEST_F(LoaderTest, ExceptionFromPluginInitIsRecordedAndThePluginStaysLoaded) {
  Load({"throw-in-init"});
  EXPECT_THAT(host().EscapedExceptions(),
              ElementsAre(HasSubstr("Plugin_Init threw: init failed on purpose")));
  EXPECT_TRUE(host().PluginLoaded());
}

TEST_F(LoaderTest, LibrariesThatCannotBeLoadedGiveAClearError) {
  PluginLoadResult missing = host().LoadPlugin(root() / "NoSuchPlugin.so");
  EXPECT_FALSE(missing.loaded);
  EXPECT_THAT(missing.error, HasSubstr("not found"));

  PluginLoadResult half = host().LoadPlugin(kHalfPlugin);
  EXPECT_FALSE(half.loaded);
  EXPECT_THAT(half.error, HasSubstr("does not export Plugin_Unload"));

  const auto not_a_library = root() / "garbage.so";
  std::ofstream(not_a_library) << "not an ELF file";
  PluginLoadResult garbage = host().LoadPlugin(not_a_library);
  EXPECT_FALSE(garbage.loaded);
  EXPECT_THAT(garbage.error, HasSubstr("cannot load"));

  EXPECT_FALSE(host().PluginLoaded());
  Load({});
  EXPECT_THAT(host().LoadPlugin(kTestPlugin).error, HasSubstr("loaded already"));
}

}  // namespace
}  // namespace devhost::testing
