// The shared sinks write finished lines; no logger can change how another logger's lines look.
#include <gmock/gmock.h>

#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>

#include <fstream>
#include <regex>

#include "host_fixture.h"

namespace devhost::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using LogSinksTest = HostTest;

std::vector<std::string> Texts(const std::vector<LogLine>& lines) {
  std::vector<std::string> texts;
  for (const LogLine& line : lines) texts.push_back(line.text);
  return texts;
}

const std::regex kHostLine(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[devhost\] \[info\] .*)");

TEST_F(LogSinksTest, ForeignPatternOnTheSharedSinksChangesNothing) {
  auto sinks = GetLogSinks();
  auto foreign = std::make_shared<spdlog::logger>("Foreign", sinks.begin(), sinks.end());
  foreign->set_pattern("FOREIGN %n %v");
  for (auto& sink : GetLogSinks()) {
    sink->set_pattern(">>> %v <<<");
    sink->set_formatter(std::make_unique<spdlog::pattern_formatter>("### %v"));
  }
  foreign->info("plain payload");
  host().LogHostLine("after the foreign pattern");

  const auto lines = Texts(host().LogLines());
  EXPECT_THAT(lines, Contains("plain payload")) << "a sink writes the payload as it stands";
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(std::regex_match(lines.back(), kHostLine)) << lines.back();
  EXPECT_THAT(lines.back(), ::testing::EndsWith("[info] after the foreign pattern"));
}

TEST_F(LogSinksTest, LinesOfALoggerAreFoundByTheNameAfterTheirDateAndTime) {
  auto sinks = GetLogSinks();
  spdlog::logger plugin("Palaverlink", sinks.begin(), sinks.end());
  plugin.info("12/07/26 20:45 [Palaverlink][info] Palaverlink loaded.");
  plugin.info("12/07/26 20:45 [Other][info] mentions [Palaverlink] later");
  plugin.info("[Palaverlink] without a date");
  host().LogHostLine("devhost line");

  EXPECT_THAT(host().LogLinesOf("Palaverlink"),
              ElementsAre("12/07/26 20:45 [Palaverlink][info] Palaverlink loaded."));
  EXPECT_THAT(host().LogLinesOf("Other"),
              ElementsAre("12/07/26 20:45 [Other][info] mentions [Palaverlink] later"));
  EXPECT_THAT(host().LogLinesOf("devhost"), Contains(::testing::EndsWith("devhost line")));
  EXPECT_THAT(host().LogLinesOf("Palaverlin"), IsEmpty());
}

TEST_F(LogSinksTest, LogFileHoldsTheSameLines) {
  host().LogHostLine("to the file");
  auto sinks = GetLogSinks();
  spdlog::logger other("Other", sinks.begin(), sinks.end());
  other.info("other's finished line");
  other.flush();

  std::ifstream file(root() / "ArkApi" / "Logs" / "devhost.log");
  std::vector<std::string> file_lines;
  for (std::string line; std::getline(file, line);) file_lines.push_back(line);
  EXPECT_EQ(file_lines, Texts(host().LogLines()));
  EXPECT_EQ(ArkApi::Tools::GetCurrentDir(), root().string());
}

}  // namespace
}  // namespace devhost::testing
