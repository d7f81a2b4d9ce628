// The two functions the framework calls: start-up after loading, shut-down before unloading.
#include <exception>

#include "chat/chat_hook.h"
#include "chat/outbound_poll.h"
#include "chat/outbound_poll_state.h"
#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/host/library_pin.h"
#include "core/host/load_generation.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/plugin_state.h"
#include "core/settings.h"
#include "link/link_state.h"
#include "sessions/logout_hook.h"
#include "sessions/session_sync.h"

#if defined(_WIN32)
#define PALAVERLINK_EXPORT extern "C" __declspec(dllexport)
#else
#define PALAVERLINK_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr char kChatHandlerName[] = "AShooterPlayerController.ServerSendChatMessage_Implementation";
constexpr char kLogoutName[] = "AShooterGameMode.Logout";

template <typename Function>
void* AsAddress(Function function) {
  return reinterpret_cast<void*>(function);
}

template <typename Function>
void** AsSlot(Function& slot) {
  return reinterpret_cast<void**>(&slot);
}

}  // namespace

// The framework may load the plug-in again in the same process after an unload; the library then
// is the pinned one, with the state of the earlier load still in its statics, and the timers and
// completions of that load still with the host. Each start therefore begins a new load and puts
// everything back to its load-time values first.
PALAVERLINK_EXPORT void Plugin_Init() {
  using namespace palaverlink;

  host::BeginLoad();
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

  OutboundCursor() = host::SystemTimeMs();

  host::InstallHook(kChatHandlerName, AsAddress(&ChatHook), AsSlot(GameChatHandler()));
  host::InstallHook(kLogoutName, AsAddress(&LogoutHook), AsSlot(GameLogoutHandler()));

  // The callbacks capture nothing; each is one guarded entry, named after its timer.
  host::RegisterRecurringTimer([] { RunGuarded("outbound poll", [] { PollOutbound(); }); },
                               Settings().OutboundPollSeconds);
  host::RegisterRecurringTimer([] { RunGuarded("session sync", [] { SyncSessions(); }); },
                               Settings().SyncIntervalSeconds);
  host::RegisterRecurringTimer([] { RunGuarded("health check", [] { HealthCheck(); }); }, HealthCheckSeconds);

  const PluginSettings& settings = Settings();
  Log().info(messages::kLoaded, settings.BridgeUrl, settings.MapId.empty() ? "<auto-detect>" : settings.MapId,
             settings.Debug ? "on" : "off");
}

PALAVERLINK_EXPORT void Plugin_Unload() {
  using namespace palaverlink;

  // First: from here on no timer or completion of this load does anything.
  host::EndLoad();

  host::RemoveHook(kChatHandlerName, AsAddress(&ChatHook));
  host::RemoveHook(kLogoutName, AsAddress(&LogoutHook));
}
