// palaverlink-devserver as a program: a scripted scene in, JSON lines out, and its exit status.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host_fixture.h"
#include "test_plugin_paths.h"

namespace devhost::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Json = nlohmann::json;

struct ServerRun {
  int status = -1;
  std::vector<std::string> out;
  std::string err;
};

class DevserverTest : public ::testing::Test {
 protected:
  void SetUp() override { root_ = FreshRoot("devserver"); }
  void TearDown() override { std::filesystem::remove_all(root_); }

  ServerRun RunScript(const std::string& script, const std::vector<std::string>& plugin_options,
                      const std::string& extra_arguments = "",
                      const std::filesystem::path& plugin = kTestPlugin) {
    ConfigureTestPlugin(root_, plugin_options);
    std::ofstream(root_ / "scene.txt") << script;
    const std::string command = "timeout 60 '" DEVSERVER_PATH "' --root '" + root_.string() + "' --plugin '" +
                                plugin.string() + "' --script '" + (root_ / "scene.txt").string() + "' " +
                                extra_arguments + " > '" + (root_ / "out.txt").string() + "' 2> '" +
                                (root_ / "err.txt").string() + "'";
    ServerRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream out(root_ / "out.txt");
    for (std::string line; std::getline(out, line);) run.out.push_back(line);
    std::stringstream err;
    err << std::ifstream(root_ / "err.txt").rdbuf();
    run.err = err.str();
    return run;
  }

  static std::vector<std::string> Events(const ServerRun& run) {
    std::vector<std::string> events;
    for (const std::string& line : run.out)
      events.push_back(Json::parse(line).at("event").get<std::string>());
    return events;
  }

  static Json EventNamed(const ServerRun& run, const std::string& name) {
    for (const std::string& line : run.out) {
      Json event = Json::parse(line);
      if (event.at("event") == name) return event;
    }
    ADD_FAILURE() << "no event " << name;
    return {};
  }

  std::filesystem::path root_;
};

TEST_F(DevserverTest, SceneProducesItsEventsInOrderAndExitsCleanly) {
  const ServerRun run = RunScript(
      "# a short scene\n"
      "world TheIsland\n"
      "join 76561198000000001 \"Ann Lee\" account=ann tribe=\"Wolves\"\n"
      "join 2 Ben nostate\n"
      "chat 76561198000000001 global héllo \"there\"\n"
      "dance\n"
      "leave 3\n"
      "vanish 2\n"
      "leave 76561198000000001\n"
      "quit\n"
      "chat 1 global never read\n",
      {"echo"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(Events(run), ElementsAre("loaded", "ready", "joined", "joined", "chat", "shown", "vanished",
                                       "left", "unloaded", "completions"));
  EXPECT_EQ(
      EventNamed(run, "completions"),
      Json::parse(R"({"event":"completions","count":0,"totalUs":0,"medianUs":0,"p99Us":0,"worstUs":0})"));
  EXPECT_EQ(EventNamed(run, "chat"),
            Json::parse(R"({"event":"chat","from":"76561198000000001","mode":0,"text":"héllo \"there\""})"));
  EXPECT_EQ(EventNamed(run, "shown"), Json::parse(R"({"event":"shown","to":"76561198000000001","tag":"[Echo]",
                                                       "line":"héllo \"there\""})"));
  EXPECT_EQ(run.out[2], R"({"event":"joined","id":"76561198000000001"})");
  EXPECT_THAT(run.err, HasSubstr("line 6: unknown command 'dance'"));
  EXPECT_THAT(run.err, HasSubstr("line 7: leave: no connected player with id 3"));
  EXPECT_THAT(run.err, HasSubstr("[test-plugin] unload"));
}

TEST_F(DevserverTest, EveryShownLineCarriesItsOwnTextAndPlayer) {
  const ServerRun run = RunScript(
      "world X\njoin 7 Ann\njoin 8 Ben\nchat 7 global one\nchat 8 global \"\\\"two\\\" \\u00e9\"\n"
      "chat 7 global \"\\\"two\\\" \\u00e9\"\nchat 7 global one\n",
      {"echo"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> shown;
  for (const std::string& line : run.out) {
    const Json event = Json::parse(line);
    if (event.at("event") == "shown")
      shown.push_back(event.at("to").get<std::string>() + " " + event.at("line").get<std::string>());
  }
  // Each line's text is escaped once for all its players: a quote or a character beyond ASCII too.
  EXPECT_THAT(shown, ElementsAre("7 one", "8 \"two\" \u00e9", "7 \"two\" \u00e9", "7 one"));
}

TEST_F(DevserverTest, TimersKeepRunningWhileTheScriptSleeps) {
  const ServerRun run = RunScript("sleep 1300\n", {});
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.err, HasSubstr("[test-plugin] tick 1"));
  EXPECT_THAT(Events(run), ElementsAre("loaded", "ready", "unloaded", "completions")) << "end of input quits";
}

TEST_F(DevserverTest, LeakMakesQuitFail) {
  const ServerRun run = RunScript("quit\n", {"leak"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(EventNamed(run, "leak"), Json::parse(R"({"event":"leak","count":1,"bytes":24})"));
}

TEST_F(DevserverTest, PrettyOutputIsReadableText) {
  const ServerRun run = RunScript("world X\njoin 7 Ann\nchat 7 tribe hi\n", {"echo"}, "--pretty");
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.out, Contains("player 7 joined"));
  EXPECT_THAT(run.out, Contains("7 says (mode 1): hi"));
  EXPECT_THAT(run.out, Contains(HasSubstr("7 sees: [Echo] hi")));
}

TEST_F(DevserverTest, PluginThatCannotLoadGivesAClearErrorAndNoCrash) {
  ServerRun run = RunScript("quit\n", {}, "", root_ / "missing.so");
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.err, HasSubstr("cannot load the plug-in: plug-in library not found"));
  run = RunScript("quit\n", {}, "", kHalfPlugin);
  EXPECT_EQ(run.status, 2);
  EXPECT_THAT(run.err, HasSubstr("does not export Plugin_Unload"));
}

}  // namespace
}  // namespace devhost::testing
