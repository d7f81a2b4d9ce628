#include "chat/chat_hook.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "chat/one_line_text.h"
#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/warning_pace.h"
#include "game/game_text.h"
#include "game/map_id.h"
#include "game/player.h"
#include "link/post_json.h"

namespace palaverlink {
namespace {

// Players can send such lines as often as they like: the warning is paced.
WarningPace& CleanedLinePace() {
  static auto* const pace = new WarningPace();  // never destroyed: see core/guard.cpp
  return *pace;
}

std::size_t relayed_lines = 0;

void RelayChatLine(AShooterPlayerController* controller, const GameString& message, int send_mode) {
  if (!EnsureMapId()) return;
  const std::string text = GameStringToUtf8(message);
  if (text.empty()) return;
  // Commands stay in the game; only the very first byte counts.
  if (text.front() == '/' || text.front() == '!') return;
  const auto channel = RelayedChannel(send_mode, Settings());
  if (!channel) return;

  std::string line = text;
  const std::uint64_t platform_id = GetPlatformId(controller);
  std::string speaker = GetSpeakerName(controller);
  std::string tribe = GetTribeName(controller);
  const std::size_t replaced = MakeOneLine(line) + MakeOneLine(speaker) + MakeOneLine(tribe);
  if (replaced > 0) {
    if (const auto lines = CleanedLinePace().Note(host::SystemTimeMs()))
      Log().warn(messages::kRelayedLineCleaned, *lines, speaker);
  }
  if (Settings().Debug) Log().info(messages::kRelaying, *channel, speaker, line);

  nlohmann::json body = nlohmann::json::object();
  body["mapId"] = MapId();
  body["playerName"] = speaker;
  body["tribeName"] = tribe;
  body["message"] = line;
  body["channel"] = std::string(*channel);
  body["platformId"] = PlatformIdText(platform_id);
  PostJson(endpoints::kChatInbound, body, IfUndelivered::kResend);
  ++relayed_lines;
}

}  // namespace

ServerSendChatMessageFn& GameChatHandler() {
  static ServerSendChatMessageFn handler = nullptr;
  return handler;
}

void ResetGameChatHandler() {
  GameChatHandler() = nullptr;
  CleanedLinePace() = WarningPace();
}

std::size_t RelayedChatLines() { return relayed_lines; }

void ResetRelayedChatLines() { relayed_lines = 0; }

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
