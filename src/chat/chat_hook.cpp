#include "chat/chat_hook.h"

namespace palaverlink {

ServerSendChatMessageFn& GameChatHandler() {
  static ServerSendChatMessageFn handler = nullptr;
  return handler;
}

void ChatHook(AShooterPlayerController* controller, GameString* message, int send_mode) {
  GameChatHandler()(controller, message, send_mode);
}

}  // namespace palaverlink
