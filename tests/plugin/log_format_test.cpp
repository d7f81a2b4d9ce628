#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <arkapi/framework.h>

#include "log_lines.h"
#include "support/plugin_fixture.h"

namespace palaverlink::testing {
namespace {

class LogFormat : public PluginFixture {};

// `when` in local time, formatted by strftime's `pattern`.
std::string LocalTime(std::time_t when, const char* pattern) {
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, pattern, &local);
  return text;
}

TEST_F(LogFormat, PluginLinesUseTheirOwnPatternAndHostLinesKeepTheirs) {
  const std::time_t before = std::time(nullptr);
  Load("{}");
  host().LogHostLine("marker after load");
  const std::time_t after = std::time(nullptr);

  const auto plugin_lines = PluginLog();
  ASSERT_EQ(plugin_lines.size(), 1u);
  const std::string& loaded = plugin_lines[0];
  EXPECT_TRUE(std::regex_match(
      loaded, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d \[Palaverlink\]\[info\] Palaverlink loaded\. .*)")))
      << loaded;
  const std::string date = loaded.substr(0, 8);
  EXPECT_TRUE(date == LocalTime(before, "%m/%d/%y") || date == LocalTime(after, "%m/%d/%y")) << loaded;

  const std::string host_line = host().LogLines().back().text;
  EXPECT_TRUE(std::regex_match(
      host_line,
      std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[devhost\] \[info\] marker after load)")))
      << host_line;

  std::ifstream file(host().Root() / "ArkApi" / "Logs" / "devhost.log");
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_NE(content.str().find(loaded + "\n"), std::string::npos) << content.str();
}

// Sets the process's time zone for the lifetime of the object.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    Set(zone);
  }
  ~TimeZone() { Set(old_ ? old_->c_str() : nullptr); }

 private:
  static void Set(const char* zone) {
#if defined(_WIN32)
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    if (zone) {
      setenv("TZ", zone, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
#endif
  }
  std::optional<std::string> old_;
};

TEST_F(LogFormat, LinesAreStampedInTheServersLocalTime) {
  // Fourteen hours east of UTC: a stamp in UTC can never pass for local time here.
  const TimeZone far_east("XYZ-14");
  const std::time_t before = std::time(nullptr);
  Load("{}");
  const std::time_t after = std::time(nullptr);

  const auto lines = PluginLog();
  ASSERT_EQ(lines.size(), 1u);
  const std::string stamp = lines[0].substr(0, 14);
  EXPECT_TRUE(stamp == LocalTime(before, "%m/%d/%y %H:%M") || stamp == LocalTime(after, "%m/%d/%y %H:%M"))
      << lines[0];
}

TEST_F(LogFormat, EveryLineIsFlushedAtOnceAndEachSinkKeepsItsOwnLevel) {
  // The host's list ends with the sink that the tests read: it takes warnings and errors only
  // now, while the log file still takes everything.
  ::GetLogSinks().back()->set_level(spdlog::level::warn);
  Load("{}");
  EXPECT_TRUE(PluginLog().empty());

  std::ifstream file(host().Root() / "ArkApi" / "Logs" / "devhost.log");
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_NE(content.str().find("[Palaverlink][info] Palaverlink loaded."), std::string::npos)
      << content.str();
}

TEST_F(LogFormat, ErrorLinesCarryTheLevelName) {
  Load("[]");
  EXPECT_EQ(SplitPluginLines(PluginLog()),
            std::vector<PluginLine>{
                Error("Config error: [json.exception.type_error.306] cannot use value() with array")});
}

}  // namespace
}  // namespace palaverlink::testing
