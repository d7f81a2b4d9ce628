// The loader with a real plug-in library: start-up, unloading as the framework does it, and what a
// plug-in meets when it is loaded again in the same process.
#include <gmock/gmock.h>

#include <cstdlib>
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

TEST_F(LoaderTest, UnloadLeavesTimersAndCompletionsRunningAsTheFrameworkDoes) {
  Load({"url=http://127.0.0.1:8765/ping"});
  host().Advance(1s);
  host().UnloadPlugin();
  EXPECT_FALSE(host().PluginLoaded());
  EXPECT_THAT(host().TimerIntervals(), ElementsAre(1));
  EXPECT_THAT(host().InstalledHooks(), IsEmpty());
  EXPECT_THAT(
      Texts(),
      Contains(HasSubstr(
          "(1 timer(s) and 1 request completion(s) stay with the host; the library stays in memory)")));

  // The test plug-in pinned its library, so what it handed over still finds its code and runs.
  host().Advance(2s);
  host().Complete(1, true, "late answer");
  game().CreateWorld(u"TheIsland");
  JoinPlayer(1, "Ann");
  game().Chat(1, u"after unload", 0);
  EXPECT_THAT(PluginSaid(),
              ElementsAre("init", "tick 1", "unload", "tick 2", "tick 3", "completion ok late answer"));
  EXPECT_EQ(game().HandledChats().size(), 1u);
}

TEST_F(LoaderTest, KindUnloadDropsTimersAndCompletions) {
  host().SetUnloadDropsCallbacks(true);
  Load({"url=http://127.0.0.1:8765/ping"});
  host().UnloadPlugin();
  EXPECT_THAT(host().TimerIntervals(), IsEmpty());
  EXPECT_THAT(Texts(), Contains(HasSubstr("(dropped 1 timer(s), 1 request completion(s)")));

  host().Advance(5s);
  host().Complete(1, true, "late answer");
  EXPECT_THAT(PluginSaid(), ElementsAre("init", "unload"));
}

// A plug-in that lets its library go while the host still holds its timer: the next tick jumps
// into unmapped code. Run in a child process, where the crash is the expected outcome; the same
// steps with the library pinned end normally.
TEST_F(LoaderTest, TimerLeftInAFreedLibraryCrashesTheServer) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Load({"no-pin"});
        host().UnloadPlugin();
        host().Advance(2s);
      },
      "");
  EXPECT_EXIT(
      {
        Load({});
        host().UnloadPlugin();
        host().Advance(2s);
        std::exit(PluginSaid().size() == 4 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
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

TEST_F(LoaderTest, LoadingAgainFindsThePinnedLibraryWithItsEarlierTimerStillRunning) {
  Load({});
  host().Advance(3s);
  host().UnloadPlugin();
  Load({});
  EXPECT_THAT(Texts(),
              Contains(HasSubstr("is still held from an earlier load and is loaded again as it is")));
  host().Advance(1s);
  // The same statics: the new start reset the count, and both timers now count on it.
  EXPECT_THAT(PluginSaid(),
              ElementsAre("init", "tick 1", "tick 2", "tick 3", "unload", "init", "tick 1", "tick 2"));
  EXPECT_THAT(host().TimerIntervals(), ElementsAre(1, 1));
}

TEST_F(LoaderTest, KindUnloadAndLoadingAgainGiveAFreshStart) {
  host().SetUnloadDropsCallbacks(true);
  Load({});
  host().Advance(3s);
  host().UnloadPlugin();
  Load({});
  host().Advance(1s);
  EXPECT_THAT(PluginSaid(), ElementsAre("init", "tick 1", "tick 2", "tick 3", "unload", "init", "tick 1"));
}

TEST_F(LoaderTest, PluginInfoNamesThePluginInTheLoadedLineAndSaysWhatItNeeds) {
  const struct {
    const char* info;  // null: no PluginInfo.json
    bool loads;
    const char* line_or_error;
  } cases[] = {
      {R"({"FullName":"Test Plugin","Description":"for tests","Version":2.5,"MinApiVersion":3.6,"Dependencies":[]})",
       true, "Loaded plugin Test Plugin V2.5 (for tests)"},
      {nullptr, true, "Loaded plugin devhost_test_plugin V1.0 ()"},
      {R"({"FullName":"Test Plugin","MinApiVersion":3.7})", false, "needs framework version 3.7 or newer"},
      {R"({"FullName":"Test Plugin","Dependencies":["Permissions"]})", false,
       "Test Plugin needs the plug-in Permissions, which is not loaded"},
      {R"({"FullName":"Test Plugin","Version":"one"})", false, "PluginInfo.json"},
      {"{", false, "PluginInfo.json"},
  };
  const auto info_file = root() / "ArkApi" / "Plugins" / "Palaverlink" / "PluginInfo.json";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.info ? c.info : "no file");
    std::filesystem::remove(info_file);
    if (c.info) {
      std::filesystem::create_directories(info_file.parent_path());
      std::ofstream(info_file) << c.info;
    }
    const PluginLoadResult result = host().LoadPlugin(kTestPlugin);
    EXPECT_EQ(result.loaded, c.loads) << result.error;
    if (c.loads) {
      EXPECT_THAT(Texts(), Contains(HasSubstr(c.line_or_error)));
      host().UnloadPlugin();
    } else {
      EXPECT_THAT(result.error, HasSubstr(c.line_or_error));
    }
  }
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
