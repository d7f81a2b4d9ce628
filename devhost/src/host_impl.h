// The host's state and the operations that the framework API routes to it.
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "command_table.h"
#include "devhost/host.h"
#include "hook_table.h"
#include "log_sinks.h"
#include "plugin_library.h"
#include "request_registry.h"
#include "simulated_game.h"
#include "timer_schedule.h"
#include "work_queue.h"

namespace devhost {

struct LoadedPlugin {
  std::unique_ptr<PluginLibrary> library;
  void (*init)() = nullptr;
  void (*unload)() = nullptr;
  OwnerId owner = 0;
  std::filesystem::path path;
};

struct Host::Impl final : GameServices {
  Impl(std::filesystem::path root_dir, std::unique_ptr<Environment> environment, bool log_to_stderr);

  // Runs plug-in code (`owner` != 0) as the game thread's current plug-in; an exception is recorded
  // and logged instead of passing on. Host and test code (owner 0) runs as it is.
  template <typename Call>
  void CallInto(OwnerId owner, const std::string& what, Call&& call) {
    if (owner == 0) {
      call();
      return;
    }
    CheckGameThread(what);
    const OwnerId previous = std::exchange(current_owner, owner);
    try {
      call();
    } catch (const std::exception& error) {
      RecordEscape(what + " threw: " + error.what());
    } catch (...) {
      RecordEscape(what + " threw a non-standard exception");
    }
    current_owner = previous;
  }

  void CheckGameThread(const std::string& what);
  void RecordEscape(const std::string& text);
  bool OnGameThread() const { return std::this_thread::get_id() == game_thread.load(); }

  // The framework's operations.
  bool InstallHook(const std::string& name, void* detour, void** original);
  bool RemoveHook(const std::string& name, void* detour);
  void AddTimer(const std::function<void()>& callback, int interval_seconds, int count);
  bool CreateRequest(std::string method, const std::string& url,
                     const RequestRegistry::Completion& completion, std::string body,
                     std::string content_type, std::vector<std::string> headers);
  void Deliver(std::uint64_t key, bool success, const std::string& text);
  void AddCommand(CommandWay way, const std::string& name, CommandTable::Entry entry);
  bool RemoveCommand(CommandWay way, const std::string& name);

  // Runs the timers due at or before `limit_ms`; with `move_clock` the manual clock follows them.
  void RunTimersUntil(std::int64_t limit_ms, bool move_clock);
  ManualEnvironment& Manual(const char* operation);

  // GameServices
  void CallHooked(const std::string& name, const std::function<void(void*)>& call) override;
  bool RunConsoleCommand(const std::string& text, ::APlayerController* player, ::FString* game_text) override;
  bool RunRconCommand(const std::string& text, ::RCONClientConnection* connection, ::RCONPacket* packet,
                      ::UWorld* world) override;
  void Log(const std::string& text) override;

  std::filesystem::path root;
  std::unique_ptr<Environment> env;
  HostLog log;
  HookTable hooks;
  CommandTable commands;
  std::map<std::string, Host::HookFailure> failing_hooks;
  TimerSchedule timers;
  RequestRegistry requests;
  WorkQueue work;
  std::unique_ptr<SimulatedGame> game;
  std::unique_ptr<LoadedPlugin> plugin;
  std::filesystem::path last_plugin_file;
  bool unload_drops_callbacks = false;
  OwnerId current_owner = 0;
  OwnerId next_owner = 1;
  std::atomic<std::thread::id> game_thread;
  std::atomic<bool> loop_running = false;                 // Run() is active on game_thread
  Host::CompletionTimes completion_times;                 // game thread only
  std::vector<std::chrono::nanoseconds> completion_each;  // the first kKeptCompletionTimes
  mutable std::mutex escapes_mutex;
  std::vector<std::string> escapes;
};

struct HostAccess {
  using Impl = Host::Impl;
  static Impl& Of(Host& host) { return *host.impl_; }
};
using HostImpl = HostAccess::Impl;

// The host's implementation, or null when no host exists.
HostImpl* CurrentImpl();

}  // namespace devhost
