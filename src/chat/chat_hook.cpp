#include "chat/chat_hook.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "core/guard.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "game/game_text.h"
#include "game/map_id.h"
#include "game/player.h"
#include "link/post_json.h"

namespace palaverlink {
namespace {

void RelayChatLine(AShooterPlayerController* controller, const GameString& message, int send_mode) {
  if (!EnsureMapId()) return;
  const std::string text = GameStringToUtf8(message);
  if (text.empty()) return;
  // Commands stay in the game; only the very first byte counts.
  if (text.front() == '/' || text.front() == '!') return;
  const auto channel = RelayedChannel(send_mode, Settings());
  if (!channel) return;

  const std::uint64_t platform_id = GetPlatformId(controller);
  const std::string speaker = GetSpeakerName(controller);
  const std::string tribe = GetTribeName(controller);
  if (Settings().Debug) Log().info(messages::kRelaying, *channel, speaker, text);

  nlohmann::json body = nlohmann::json::object();
  body["mapId"] = MapId();
  body["playerName"] = speaker;
  body["tribeName"] = tribe;
  body["message"] = text;
  body["channel"] = std::string(*channel);
  body["platformId"] = PlatformIdText(platform_id);
  PostJson("/api/chat/inbound", body, IfUndelivered::kResend);
}

}  // namespace

ServerSendChatMessageFn& GameChatHandler() {
  static ServerSendChatMessageFn handler = nullptr;
  return handler;
}

void ResetGameChatHandler() { GameChatHandler() = nullptr; }

std::optional<std::string_view> RelayedChannel(int send_mode, const PluginSettings& settings) {
  switch (send_mode) {
    case 0:
      if (settings.RelayGlobalChat) return "global";
      break;
    case 1:
      if (settings.RelayTribeChat) return "tribe";
      break;
    case 3:
      if (settings.RelayAllianceChat) return "alliance";
      break;
    default:
      break;
  }
  return std::nullopt;
}

void ChatHook(AShooterPlayerController* controller, GameString* message, int send_mode) {
  // The game's handling comes first and is never changed; its own exceptions are the game's.
  if (const auto handler = GameChatHandler()) handler(controller, message, send_mode);
  if (controller == nullptr || message == nullptr) return;
  // A line that cannot be relayed is dropped; the game already has it.
  RunGuarded("chat hook", [&] { RelayChatLine(controller, *message, send_mode); });
}

}  // namespace palaverlink
