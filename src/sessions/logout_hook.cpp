#include "sessions/logout_hook.h"

namespace palaverlink {

LogoutFn& GameLogoutHandler() {
  static LogoutFn handler = nullptr;
  return handler;
}

void LogoutHook(AShooterGameMode* game_mode, AController* exiting) { GameLogoutHandler()(game_mode, exiting); }

}  // namespace palaverlink
