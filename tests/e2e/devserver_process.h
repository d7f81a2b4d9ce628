// palaverlink-devserver with the plug-in, run by a test: commands on its standard input, its JSON
// lines on standard output, and the plug-in's lines in <root>/ArkApi/Logs/devhost.log.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "json_events.h"

namespace palaverlink::e2e {

// A fresh server directory under the system's temporary directory, removed with the object.
class TempRoot {
 public:
  explicit TempRoot(const std::string& name);
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// One line that the plug-in's logger wrote: "[warning]" and the text after it.
struct PluginLogLine {
  std::string level;
  std::string text;
};

// The plug-in's configuration for a bot on a loopback port.
Json BotConfig(int port, int poll_seconds, const std::string& api_key = "", bool debug = false);

class DevserverProcess {
 public:
  // Writes config.json into `root`, starts the server and waits for its "ready" line.
  DevserverProcess(const std::filesystem::path& root, const Json& config);
  // When the test has failed, prints what the server wrote, for the failure report.
  ~DevserverProcess();
  DevserverProcess(const DevserverProcess&) = delete;
  DevserverProcess& operator=(const DevserverProcess&) = delete;

  bool ready() const { return ready_; }
  pid_t pid() const { return process_->pid(); }
  // When the plug-in's Plugin_Init had run: its timers count from about here.
  Clock::time_point loaded_at() const { return loaded_at_; }

  bool Send(const std::string& command) { return process_->WriteLine(command); }

  // Every JSON line so far, and those of one event kind.
  std::vector<Json> Events() const;
  std::vector<Json> Events(const std::string& kind) const;
  std::optional<Json> WaitForEvent(const std::function<bool(const Json&)>& match,
                                   std::chrono::milliseconds timeout);
  // The lines shown to one player as "tag line".
  std::vector<std::string> ShownTo(const std::string& player) const;
  bool WaitForShown(const std::string& player, const std::string& tag_and_line,
                    std::chrono::milliseconds timeout);

  // The log file: all its lines, and the plug-in's own.
  std::vector<std::string> LogFile() const;
  std::vector<PluginLogLine> PluginLog() const;
  // How many of the plug-in's lines begin with `start`.
  std::size_t CountPluginLines(const std::string& start) const;
  bool WaitForPluginLines(const std::string& start, std::size_t count, std::chrono::milliseconds timeout);

  // Sends "quit", closes the input and waits for the exit status (nullopt: it had to be killed).
  std::optional<int> Quit(std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  std::filesystem::path root_;
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
  Clock::time_point loaded_at_;
};

}  // namespace palaverlink::e2e
