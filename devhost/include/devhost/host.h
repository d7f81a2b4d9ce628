// The development host: a stand-in for the plug-in framework and the game server.
//
// One Host exists in a process at a time; the framework API (arkapi/framework.h) answers from it.
// It owns an environment (clock + transport), the simulated game, the shared log sinks and the
// plug-in loader. Everything that reaches a plug-in (timer callbacks, hook bodies, request
// completions) runs on the game thread, one at a time:
//  - with ManualEnvironment the game thread is the thread that drives the host (tests): Advance()
//    runs due timers, Complete() runs a completion, game actions run at once;
//  - with RealEnvironment (devserver, end-to-end tests) Run() turns the calling thread into the
//    game loop, and other threads hand it work through Post().
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devhost/environment.h"
#include "devhost/game.h"

namespace devhost {

// One line written to the shared sinks, as the sinks received it (a finished line, no newline).
struct LogLine {
  std::string text;
};

struct PluginLoadResult {
  bool loaded = false;
  std::string error;  // why loading failed: missing file, missing export, ...
};

class Host {
 public:
  // `root` is the server directory (the framework's current directory). The host creates
  // <root>/ArkApi/Logs/devhost.log and writes its own lines there and to standard error
  // (standard error only when `log_to_stderr`).
  Host(std::filesystem::path root, std::unique_ptr<Environment> environment, bool log_to_stderr = true);
  ~Host();  // unloads a loaded plug-in
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const std::filesystem::path& Root() const;
  Environment& Env();
  Game& game();

  // <root>/ArkApi/Plugins/Palaverlink/config.json, written as given (no newline added).
  void WriteConfig(const std::string& text);

  // Loads <root>/ArkApi/Plugins/Palaverlink/<file name of library> after copying `library` there
  // with the PluginInfo.json beside it (when there is one), then calls Plugin_Init and writes the
  // framework's "Loaded plugin ..." line. A library that this process still holds from an earlier
  // load (it pinned itself) cannot be replaced: it is loaded again as it is. A waiting update (see
  // ReloadPlugin) is installed first when the library is free. Only one plug-in is loaded at a time.
  PluginLoadResult LoadPlugin(const std::filesystem::path& library);
  // Unloads as the framework does: Plugin_Unload, then the library is closed. The plug-in's timers
  // and the completions of its requests in flight stay with the host and go on being called; if
  // the library has gone from memory by then, the process crashes, as a real server would.
  void UnloadPlugin();
  // The framework's in-place reload: `library` is put beside the loaded one as the waiting update
  // (<library file>.ArkApi, with its PluginInfo.json), the plug-in is unloaded, the update replaces
  // the library unless the process still holds the old one, and the library is loaded again. An
  // update that could not be installed waits for the next start.
  PluginLoadResult ReloadPlugin(const std::filesystem::path& library);
  // A kinder unload than the framework's, for the tests that name it: the plug-in's timers and
  // request completions are dropped when it is unloaded, so nothing calls into its library.
  void SetUnloadDropsCallbacks(bool drop);
  // The library in the server directory that was loaded last; empty before the first load.
  std::filesystem::path PluginFile() const;
  bool PluginLoaded() const;

  // Every line the shared sinks received since the host started (the host's and the plug-ins').
  std::vector<LogLine> LogLines() const;
  // Only the lines of the named logger ("[Palaverlink]" right after date and time).
  std::vector<std::string> LogLinesOf(const std::string& logger_name) const;
  // A line in devhost's own pattern, through devhost's own logger.
  void LogHostLine(const std::string& text);

  // What the framework saw: installed hooks by game-function name, registered timers with their
  // intervals in seconds, exceptions that escaped from a plug-in's code into the host (also a
  // plug-in entered, or calling the framework, off the game thread: "... off the game thread").
  std::vector<std::string> InstalledHooks() const;
  std::vector<int> TimerIntervals() const;
  std::vector<std::string> EscapedExceptions() const;

  // The game thread's processor time in the plug-in's request completions, the game's observer
  // included (an observer that prints, as devserver's, does so off the game thread), from after the
  // host's copy of the answer. The median and the 99th percentile are of the first
  // kKeptCompletionTimes. On a shared machine the longest may be the machine's (a virtual CPU taken
  // away in the middle of a completion counts as the thread's time); the percentiles say what a
  // completion costs as a rule.
  struct CompletionTimes {
    std::uint64_t count = 0;
    std::chrono::nanoseconds total{0};
    std::chrono::nanoseconds median{0};
    std::chrono::nanoseconds p99{0};
    std::chrono::nanoseconds worst{0};
  };
  static constexpr std::size_t kKeptCompletionTimes = 1 << 16;
  CompletionTimes RequestCompletionTimes() const;

  // A framework that cannot hook the named game function: kRefused makes InstallHook answer false
  // (as when a game update renamed the function), kThrows makes InstallHook and RemoveHook throw.
  // Either way the game goes on calling its own function.
  enum class HookFailure { kRefused, kThrows };
  void FailHooksOn(const std::string& function_name, HookFailure failure);

  // ManualEnvironment: advances the manual clock and runs every timer that falls due, in order.
  void Advance(std::chrono::milliseconds duration);
  // ManualEnvironment: completes a recorded request; the completion runs now, on this thread
  // (also when the plug-in that made the request was unloaded, unless the unload dropped it).
  // `text` as the framework hands it over (arkapi/framework.h): a failed answer's body follows its
  // status line after a line break ("HTTP 500 Internal Server Error\n<html>...").
  void Complete(std::uint64_t request_id, bool success, const std::string& text);

  // RealEnvironment: runs the game loop on this thread until Stop(); Post() queues work for it.
  // `end_of_tick`, when given, runs on this thread after each pass of the loop (the work that came
  // in and the timers that fell due), before it waits for more: where a game's tick would end.
  void Run(const std::function<void()>& end_of_tick = {});
  void Stop();
  void Post(std::function<void()> work);
  // Runs `work` on the game thread and waits for it: at once with ManualEnvironment or when called
  // from inside the running loop; otherwise queued for Run() (which must be running or about to).
  void RunOnGameThread(const std::function<void()>& work);

  // The host for the framework API; null when none exists.
  static Host* Current();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  friend struct HostAccess;
};

// The time at the given percent of `times` by nearest rank: the smallest that at least that
// percent of them do not exceed; zero for none.
std::chrono::nanoseconds NearestRank(std::vector<std::chrono::nanoseconds> times, int percent);

// Path of the Palaverlink library that the build made (set by the build for tests).
std::filesystem::path BuiltPluginPath();

}  // namespace devhost
