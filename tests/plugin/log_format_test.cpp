#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>

#include "log_lines.h"
#include "support/plugin_fixture.h"

namespace palaverlink::testing {
namespace {

class LogFormat : public PluginFixture {};

// "MM/DD/YY" of the local date now.
std::string LocalDate(std::time_t when) {
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  char text[16];
  std::strftime(text, sizeof text, "%m/%d/%y", &local);
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
  EXPECT_TRUE(date == LocalDate(before) || date == LocalDate(after)) << loaded;

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

TEST_F(LogFormat, ErrorLinesCarryTheLevelName) {
  Load("[]");
  EXPECT_EQ(SplitPluginLines(PluginLog()),
            std::vector<PluginLine>{
                Error("Config error: [json.exception.type_error.306] cannot use value() with array")});
}

}  // namespace
}  // namespace palaverlink::testing
