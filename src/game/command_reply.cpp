#include "game/command_reply.h"

#include <cstdint>

#include "game/game_memory.h"
#include "game/game_names.h"
#include "game/game_records.h"
#include "game/text_codec.h"

namespace palaverlink {
namespace {

using ServerChatDirectMessageFn = void (*)(AShooterPlayerController* self, GameString* message,
                                           LinearColor color, bool is_bold);
using RconSendMessageFn = void (*)(RCONClientConnection* self, std::int32_t id, std::int32_t type,
                                   GameString* message);

// The RCON protocol's type of a reply to a command.
constexpr std::int32_t kRconResponseValue = 0;
constexpr LinearColor kWhite{1.0F, 1.0F, 1.0F, 1.0F};

}  // namespace

void SendCommandReply(const host::CommandOrigin& origin, std::string_view text) {
  // Lent to the game for the call; the game copies what it sends.
  OwnedGameString reply = OwnedGameString::FromText(Utf8ToUtf16(text));
  if (origin.player != nullptr) {
    host::GameFunction<ServerChatDirectMessageFn>(game_names::kServerChatDirectMessage)(
        origin.player, reply.out(), kWhite, false);
  } else if (origin.connection != nullptr && origin.packet != nullptr) {
    const auto* packet = reinterpret_cast<const RconPacketRecord*>(origin.packet);
    host::GameFunction<RconSendMessageFn>(game_names::kRconSendMessage)(origin.connection, packet->id,
                                                                        kRconResponseValue, reply.out());
  }
}

}  // namespace palaverlink
