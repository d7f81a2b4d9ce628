// The adapter over the host framework: every call the plug-in makes of the framework goes
// through here.
#include "core/host/host_api.h"

#include <arkapi/framework.h>

#include <chrono>
#include <utility>

#include "core/host/load_generation.h"

namespace palaverlink::host {
namespace {

// The framework keeps what it is given after the plug-in is unloaded and still calls it: each
// callback does its work only while the load that handed it out is running.
std::function<void()> TiedToThisLoad(std::function<void()> callback) {
  return [generation = CurrentLoad(), callback = std::move(callback)] {
    if (IsRunningLoad(generation)) callback();
  };
}

// The one place that reads the framework's completion.
API::Requests::Completion TiedToThisLoad(Completion completion) {
  return [generation = CurrentLoad(), completion = std::move(completion)](bool success, std::string text) {
    if (IsRunningLoad(generation)) completion(ReadFrameworkReply(success, std::move(text)));
  };
}

CommandHandler TiedToThisLoad(CommandHandler handler) {
  return [generation = CurrentLoad(), handler = std::move(handler)](const CommandOrigin& origin) {
    if (IsRunningLoad(generation)) handler(origin);
  };
}

}  // namespace

MissingGameName::MissingGameName(const std::string& name)
    : std::runtime_error("the game has no function named " + name) {}

bool InstallHook(const std::string& function_name, void* detour, void** original) {
  return ArkApi::GetHooks().InstallHook(function_name, detour, original);
}

bool RemoveHook(const std::string& function_name, void* detour) {
  return ArkApi::GetHooks().RemoveHook(function_name, detour);
}

void RegisterCommand(const std::string& name, CommandHandler handler) {
  CommandHandler tied = TiedToThisLoad(std::move(handler));
  ArkApi::ICommands& commands = ArkApi::GetCommands();
  // The console hands over any player controller; only the game's shooter controllers type.
  commands.AddConsoleCommand(name, [tied](APlayerController* player, FString*, bool) {
    tied(CommandOrigin{reinterpret_cast<AShooterPlayerController*>(player), nullptr, nullptr});
  });
  commands.AddRconCommand(name, [tied](RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
    tied(CommandOrigin{nullptr, connection, packet});
  });
}

void RemoveCommand(const std::string& name) {
  ArkApi::ICommands& commands = ArkApi::GetCommands();
  commands.RemoveConsoleCommand(name);
  commands.RemoveRconCommand(name);
}

void RegisterRecurringTimer(std::function<void()> callback, int interval_seconds) {
  API::Timer::Get().RecurringExecuteInternal(TiedToThisLoad(std::move(callback)), interval_seconds, -1,
                                             false);
}

bool SendGet(const std::string& url, Completion completion, std::vector<std::string> headers) {
  return API::Requests::Get().CreateGetRequest(url, TiedToThisLoad(std::move(completion)),
                                               std::move(headers));
}

bool SendPost(const std::string& url, Completion completion, const std::string& body,
              const std::string& content_type, std::vector<std::string> headers) {
  return API::Requests::Get().CreatePostRequest(url, TiedToThisLoad(std::move(completion)), body,
                                                content_type, std::move(headers));
}

UWorld* CurrentWorld() { return ArkApi::GetApiUtils().CurrentWorld(); }

void* FunctionAddress(const std::string& name) {
  void* address = ::GetAddress(name);
  if (address == nullptr) throw MissingGameName(name);
  return address;
}

void* FieldAddress(const void* object, const std::string& name) { return ::GetAddress(object, name); }

std::vector<spdlog::sink_ptr> LogSinks() { return ::GetLogSinks(); }

std::string CurrentDir() { return ArkApi::Tools::GetCurrentDir(); }

std::int64_t SystemTimeMs() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count();
}

}  // namespace palaverlink::host
