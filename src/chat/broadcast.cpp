#include "chat/broadcast.h"

#include <optional>

#include "core/host/host_api.h"
#include "game/game_memory.h"
#include "game/game_names.h"
#include "game/game_records.h"
#include "game/player.h"
#include "game/text_codec.h"

namespace palaverlink {
namespace {

using ClientChatMessageFn = void (*)(AShooterPlayerController* controller, ChatMessageRecord message);

}  // namespace

void BroadcastChatLine(const std::string& sender_tag, const std::string& chat_line) {
  const std::u16string tag = Utf8ToUtf16(sender_tag);
  const std::u16string line = Utf8ToUtf16(chat_line);

  // The game's functions, resolved at the first player, once for all.
  ClientChatMessageFn client_chat_message = nullptr;
  std::optional<GameAllocator> allocator;
  ForEachPlayerController([&](AShooterPlayerController* controller) {
    if (client_chat_message == nullptr) {
      client_chat_message = host::GameFunction<ClientChatMessageFn>(game_names::kClientChatMessage);
      allocator.emplace();
    }
    // Every player gets a record with buffers of its own, made straight from the texts; the game
    // takes the record by value and owns its buffers from the call on. Every other field is zero
    // or empty, the time -1.
    OwnedGameString own_tag = OwnedGameString::FromText(tag, *allocator);
    OwnedGameString own_line = OwnedGameString::FromText(line, *allocator);
    ChatMessageRecord record{};
    record.sender_name = own_tag.Release();
    record.message = own_line.Release();
    record.received_time = -1.0;
    client_chat_message(controller, record);
  });
}

}  // namespace palaverlink
