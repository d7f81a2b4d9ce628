#include "devserver_process.h"

#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>

namespace palaverlink::e2e {
namespace {

using namespace std::chrono_literals;

// The plug-in's pattern "%D %R [%n][%l] %v": a 15-byte date and time, then the logger's name.
std::optional<PluginLogLine> ParsePluginLine(const std::string& line) {
  static const std::string kLogger = "[Palaverlink][";
  constexpr std::size_t kStampLength = 15;  // "MM/DD/YY HH:MM "
  if (line.size() < kStampLength || line.compare(kStampLength, kLogger.size(), kLogger) != 0) {
    return std::nullopt;
  }
  const std::size_t level_start = kStampLength + kLogger.size();
  const std::size_t level_end = line.find("] ", level_start);
  if (level_end == std::string::npos) return std::nullopt;
  return PluginLogLine{line.substr(level_start, level_end - level_start), line.substr(level_end + 2)};
}

}  // namespace

TempRoot::TempRoot(const std::string& name) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / ("palaverlink-e2e-" + name + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempRoot::~TempRoot() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

Json BotConfig(int port, int poll_seconds, const std::string& api_key, bool debug) {
  return Json{{"BridgeUrl", "http://127.0.0.1:" + std::to_string(port)},
              {"ApiKey", api_key},
              {"OutboundPollSeconds", poll_seconds},
              {"SyncIntervalSeconds", 1},
              {"Debug", debug}};
}

DevserverProcess::DevserverProcess(const std::filesystem::path& root, const Json& config) : root_(root) {
  const std::filesystem::path plugin_directory = root_ / "ArkApi" / "Plugins" / "Palaverlink";
  std::filesystem::create_directories(plugin_directory);
  std::ofstream(plugin_directory / "config.json") << config.dump(2) << "\n";
  process_ = std::make_unique<ChildProcess>(
      PALAVERLINK_DEVSERVER,
      std::vector<std::string>{"--root", root_.string(), "--plugin", PALAVERLINK_PLUGIN},
      root_ / "devserver.stderr");
  if (!process_->started()) return;
  auto loaded =
      process_->WaitForLine([](const std::string& line) { return line == R"({"event":"loaded"})"; }, 20s);
  loaded_at_ = Clock::now();
  ready_ = loaded &&
           process_->WaitForLine([](const std::string& line) { return line == R"({"event":"ready"})"; }, 5s);
}

DevserverProcess::~DevserverProcess() {
  if (!::testing::Test::HasFailure()) return;
  std::cerr << "---- devserver in " << root_.string() << ": standard output\n";
  for (const std::string& line : process_->Lines()) std::cerr << line << "\n";
  std::cerr << "---- its log file\n";
  for (const std::string& line : LogFile()) std::cerr << line << "\n";
}

std::vector<Json> DevserverProcess::Events() const { return e2e::Events(*process_); }

std::vector<Json> DevserverProcess::Events(const std::string& kind) const {
  return EventsOf(*process_, kind);
}

std::optional<Json> DevserverProcess::WaitForEvent(const std::function<bool(const Json&)>& match,
                                                   std::chrono::milliseconds timeout) {
  return e2e::WaitForEvent(*process_, match, timeout);
}

std::vector<std::string> DevserverProcess::ShownTo(const std::string& player) const {
  std::vector<std::string> shown;
  for (const Json& event : Events("shown")) {
    if (event.value("to", "") == player)
      shown.push_back(event.value("tag", "") + " " + event.value("line", ""));
  }
  return shown;
}

bool DevserverProcess::WaitForShown(const std::string& player, const std::string& tag_and_line,
                                    std::chrono::milliseconds timeout) {
  return WaitForEvent(
             [&](const Json& event) {
               return event.value("event", "") == "shown" && event.value("to", "") == player &&
                      event.value("tag", "") + " " + event.value("line", "") == tag_and_line;
             },
             timeout)
      .has_value();
}

std::vector<std::string> DevserverProcess::LogFile() const {
  std::vector<std::string> lines;
  std::ifstream file(root_ / "ArkApi" / "Logs" / "devhost.log");
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::vector<PluginLogLine> DevserverProcess::PluginLog() const {
  std::vector<PluginLogLine> lines;
  for (const std::string& line : LogFile()) {
    if (std::optional<PluginLogLine> parsed = ParsePluginLine(line)) lines.push_back(*parsed);
  }
  return lines;
}

std::size_t DevserverProcess::CountPluginLines(const std::string& start) const {
  std::size_t count = 0;
  for (const PluginLogLine& line : PluginLog()) {
    if (line.text.starts_with(start)) ++count;
  }
  return count;
}

bool DevserverProcess::WaitForPluginLines(const std::string& start, std::size_t count,
                                          std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return CountPluginLines(start) >= count; }, timeout);
}

std::optional<int> DevserverProcess::Quit(std::chrono::milliseconds timeout) {
  process_->WriteLine("quit");
  process_->CloseInput();
  if (std::optional<int> status = process_->WaitForExit(timeout)) return status;
  process_->Stop(SIGKILL, 5s);
  return std::nullopt;
}

}  // namespace palaverlink::e2e
