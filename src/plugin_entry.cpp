// The two functions the framework calls: start-up after loading, shut-down before unloading. Like
// every entry from the host, each runs inside one guard, so nothing it meets reaches the framework.
#include <exception>
#include <string>

#include "chat/chat_hook.h"
#include "chat/outbound_poll.h"
#include "chat/outbound_poll_state.h"
#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/host/library_pin.h"
#include "core/host/load_generation.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/health_probe.h"
#include "link/outage_buffer.h"
#include "plugin_reset.h"
#include "sessions/join_hook.h"
#include "sessions/logout_hook.h"
#include "sessions/session_sync.h"
#include "status/status_command.h"

#if defined(_WIN32)
#define PALAVERLINK_EXPORT extern "C" __declspec(dllexport)
#else
#define PALAVERLINK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace palaverlink {
namespace {

constexpr char kChatHandlerName[] = "AShooterPlayerController.ServerSendChatMessage_Implementation";
constexpr char kLogoutName[] = "AShooterGameMode.Logout";
constexpr char kNewPlayerName[] = "AShooterGameMode.HandleNewPlayer_Implementation";

template <typename Function>
void* AsAddress(Function function) {
  return reinterpret_cast<void*>(function);
}

template <typename Function>
void** AsSlot(Function& slot) {
  return reinterpret_cast<void**>(&slot);
}

// A hook the framework would not install leaves its part of the bridge deaf: say so.
template <typename Function>
void InstallHookOrWarn(const char* function_name, Function detour, Function& slot, const char* what_is_lost) {
  if (!host::InstallHook(function_name, AsAddress(detour), AsSlot(slot))) {
    Log().warn(messages::kHookNotInstalled, function_name, what_is_lost);
  }
}

// " Key=N" for a setting that is on; nothing for one that is off.
std::string ShownWhenOn(const char* key, int value) {
  return value > 0 ? " " + std::string(key) + "=" + std::to_string(value) : std::string();
}

void StartUp() {
  ResetPluginState();
  const bool pinned = host::PinLibrary();

  OpenLogChannel("Palaverlink");
  if (!pinned) Log().warn(messages::kNotPinned);

  try {
    LoadConfig();
  } catch (const std::exception& error) {
    Log().error(messages::kConfigError, error.what());
    return;
  }

  StampOutboundCursor(host::SystemTimeMs());

  InstallHookOrWarn(kChatHandlerName, &ChatHook, GameChatHandler(), "chat lines");
  InstallHookOrWarn(kLogoutName, &LogoutHook, GameLogoutHandler(), "logouts");
  InstallHookOrWarn(kNewPlayerName, &JoinHook, GameNewPlayerHandler(), "joins at once");

  // Each module registers its timers: each callback one guarded entry, named after its timer.
  StartOutboundPoll(Settings().OutboundPollSeconds);
  StartSessionSync(Settings().SyncIntervalSeconds);
  StartHealthProbe();
  StartStatusCommand();

  const PluginSettings& settings = Settings();
  Log().info(messages::kLoaded, settings.BridgeUrl, settings.MapId.empty() ? "<auto-detect>" : settings.MapId,
             settings.Debug ? "on" : "off", ShownWhenOn("OutboundWaitSeconds", settings.OutboundWaitSeconds),
             ShownWhenOn("OutageBufferLines", settings.OutageBufferLines));
}

void ShutDown() {
  host::RemoveHook(kChatHandlerName, AsAddress(&ChatHook));
  host::RemoveHook(kLogoutName, AsAddress(&LogoutHook));
  host::RemoveHook(kNewPlayerName, AsAddress(&JoinHook));
  StopStatusCommand();
  ReportUnsentAtUnload();
}

}  // namespace
}  // namespace palaverlink

// The framework may load the plug-in again in the same process after an unload; the library then
// is the pinned one, with the state of the earlier load still in its statics, and the timers and
// completions of that load still with the host. Each start therefore begins a new load and puts
// everything back to its load-time values first.
PALAVERLINK_EXPORT void Plugin_Init() {
  palaverlink::host::BeginLoad();
  palaverlink::RunGuarded("start-up", [] { palaverlink::StartUp(); });
}

PALAVERLINK_EXPORT void Plugin_Unload() {
  // First: from here on no timer or completion of this load does anything.
  palaverlink::host::EndLoad();
  palaverlink::RunGuarded("unload", [] { palaverlink::ShutDown(); });
}
