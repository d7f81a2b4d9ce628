// The framework's operations on the host: hooks, commands, timers, requests, each tagged with the plug-in
// whose code asked for it.
#include "host_impl.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <utility>

#include "thread_cpu_clock.h"

namespace devhost {
namespace {

bool Fails(const std::map<std::string, Host::HookFailure>& failing, const std::string& name,
           Host::HookFailure failure) {
  const auto it = failing.find(name);
  return it != failing.end() && it->second == failure;
}

}  // namespace

bool Host::Impl::InstallHook(const std::string& name, void* detour, void** original) {
  if (current_owner != 0) CheckGameThread("InstallHook");
  if (Fails(failing_hooks, name, Host::HookFailure::kThrows)) throw std::runtime_error("cannot hook " + name);
  if (Fails(failing_hooks, name, Host::HookFailure::kRefused)) return false;
  return hooks.Install(name, detour, original, current_owner);
}

bool Host::Impl::RemoveHook(const std::string& name, void* detour) {
  if (current_owner != 0) CheckGameThread("RemoveHook");
  if (Fails(failing_hooks, name, Host::HookFailure::kThrows))
    throw std::runtime_error("cannot unhook " + name);
  return hooks.Remove(name, detour);
}

void Host::Impl::AddTimer(const std::function<void()>& callback, int interval_seconds, int count) {
  if (current_owner != 0) CheckGameThread("RecurringExecuteInternal");
  timers.Add(callback, interval_seconds, count, current_owner, env->NowMs());
}

bool Host::Impl::CreateRequest(std::string method, const std::string& url,
                               const RequestRegistry::Completion& completion, std::string body,
                               std::string content_type, std::vector<std::string> headers) {
  if (current_owner != 0) CheckGameThread(method + " request");
  if (url.empty() || env->RefusesRequests()) return false;
  const std::uint64_t key = requests.Add(current_owner, completion);
  HttpRequest request;
  request.method = std::move(method);
  request.url = url;
  request.headers = std::move(headers);
  request.content_type = std::move(content_type);
  request.body = std::move(body);
  // The test completes manual requests on the game thread itself; a transport thread hands the
  // outcome over to the game loop.
  const bool manual = env->IsManual();
  env->Send(std::move(request), [this, key, manual](bool success, std::string text) {
    if (manual) {
      Deliver(key, success, text);
    } else {
      work.Post([this, key, success, text = std::move(text)] { Deliver(key, success, text); });
    }
  });
  return true;
}

void Host::Impl::Deliver(std::uint64_t key, bool success, const std::string& text) {
  auto taken = requests.Take(key);
  if (!taken) return;  // its plug-in was unloaded
  // The completion takes the text by value: the framework's copy of it is made before the clock
  // starts, as it is the framework's work, not the plug-in's.
  std::string argument = text;
  const auto began = ThreadCpuTime();
  CallInto(taken->owner, "request completion", [&] { taken->completion(success, std::move(argument)); });
  const auto took = ThreadCpuTime() - began;
  completion_times.count += 1;
  completion_times.total += took;
  completion_times.worst = std::max<std::chrono::nanoseconds>(completion_times.worst, took);
  if (completion_each.size() < kKeptCompletionTimes) completion_each.push_back(took);
}

void Host::Impl::CallHooked(const std::string& name, const std::function<void(void*)>& call) {
  const HookTable::Target target = hooks.Current(name);
  if (target.function == nullptr) return;
  CallInto(target.owner, "hook on " + name, [&] { call(target.function); });
}

void Host::Impl::AddCommand(CommandWay way, const std::string& name, CommandTable::Entry entry) {
  const char* kind = way == CommandWay::kConsole ? "console" : "RCON";
  if (current_owner != 0) CheckGameThread(std::string("Add") + kind + "Command");
  entry.owner = current_owner;
  if (!commands.Add(way, name, std::move(entry)))
    log.Logger().warn("devhost: the {} command {} is registered already; kept the first", kind, name);
}

bool Host::Impl::RemoveCommand(CommandWay way, const std::string& name) {
  if (current_owner != 0) CheckGameThread("Remove command");
  return commands.Remove(way, name);
}

bool Host::Impl::RunConsoleCommand(const std::string& text, ::APlayerController* player,
                                   ::FString* game_text) {
  const auto command = commands.Find(CommandWay::kConsole, text);
  if (!command) return false;
  CallInto(command->owner, "console command " + text, [&] { command->console(player, game_text, false); });
  return true;
}

bool Host::Impl::RunRconCommand(const std::string& text, ::RCONClientConnection* connection,
                                ::RCONPacket* packet, ::UWorld* world) {
  const auto command = commands.Find(CommandWay::kRcon, text);
  if (!command) return false;
  CallInto(command->owner, "RCON command " + text, [&] { command->rcon(connection, packet, world); });
  return true;
}

}  // namespace devhost
