#include "sessions/logout_hook.h"

#include <nlohmann/json.hpp>

#include <cstdint>

#include "core/guard.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "game/map_id.h"
#include "game/player.h"
#include "link/post_json.h"
#include "sessions/session_sync.h"

namespace palaverlink {
namespace {

void NoticeLogout(AController* exiting) {
  if (exiting == nullptr) return;
  // The game logs out player controllers only.
  auto* controller = reinterpret_cast<AShooterPlayerController*>(exiting);
  const std::uint64_t platform_id = GetPlatformId(controller);
  if (platform_id == 0) return;
  ForgetSessionStart(platform_id);  // whatever follows
  if (!EnsureMapId()) return;
  if (Settings().Debug) Log().info(messages::kLoggedOut, platform_id);

  nlohmann::json body = nlohmann::json::object();
  body["mapId"] = MapId();
  body["platformId"] = PlatformIdText(platform_id);
  PostJson(endpoints::kSessionsLeave, body, IfUndelivered::kResend);
}

}  // namespace

LogoutFn& GameLogoutHandler() {
  static LogoutFn handler = nullptr;
  return handler;
}

void ResetGameLogoutHandler() { GameLogoutHandler() = nullptr; }

void LogoutHook(AShooterGameMode* game_mode, AController* exiting) {
  // The notice may be lost; the game's logout below runs whatever happened.
  RunGuarded("logout hook", [exiting] { NoticeLogout(exiting); });
  if (const auto handler = GameLogoutHandler()) handler(game_mode, exiting);
}

}  // namespace palaverlink
