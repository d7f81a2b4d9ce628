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

  // Loads <root>/ArkApi/Plugins/Palaverlink/<file name of library> after copying `library` there,
  // then calls Plugin_Init. Only one plug-in is loaded at a time.
  PluginLoadResult LoadPlugin(const std::filesystem::path& library);
  // Plugin_Unload, then drops the plug-in's timers and in-flight completions, then unloads the library.
  void UnloadPlugin();
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

  // ManualEnvironment: advances the manual clock and runs every timer that falls due, in order.
  void Advance(std::chrono::milliseconds duration);
  // ManualEnvironment: completes a recorded request; the completion runs now, on this thread
  // (nothing runs when the plug-in that made the request was unloaded).
  void Complete(std::uint64_t request_id, bool success, const std::string& text);

  // RealEnvironment: runs the game loop on this thread until Stop(); Post() queues work for it.
  void Run();
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

// Path of the Palaverlink library that the build made (set by the build for tests).
std::filesystem::path BuiltPluginPath();

}  // namespace devhost
