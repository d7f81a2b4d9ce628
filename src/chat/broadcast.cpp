#include "chat/broadcast.h"

#include <cstdint>

#include "core/host/host_api.h"
#include "game/game_memory.h"
#include "game/game_records.h"
#include "game/player.h"
#include "game/text_codec.h"

namespace palaverlink {
namespace {

using ClientChatMessageFn = void (*)(AShooterPlayerController* controller, ChatMessageRecord message);

constexpr char kClientChatMessage[] = "AShooterPlayerController.ClientChatMessage";

}  // namespace

std::u16string WidenEachByte(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char byte : text) {
    const auto value = static_cast<std::int16_t>(static_cast<signed char>(byte));
    wide.push_back(static_cast<char16_t>(static_cast<std::uint16_t>(value)));
  }
  return wide;
}

std::u16string Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  std::u16string wide = Utf8ToUtf16(text);
  // Any non-empty input converts to at least one unit; nothing back means the conversion failed.
  if (wide.empty()) return WidenEachByte(text);
  return wide;
}

void BroadcastChatLine(const std::string& sender_tag, const std::string& chat_line) {
  const OwnedGameString tag = OwnedGameString::FromText(Utf8ToWide(sender_tag));
  const OwnedGameString line = OwnedGameString::FromText(Utf8ToWide(chat_line));

  // The record keeps strings of its own; every other field is zero or empty, the time -1.
  const OwnedGameString record_tag = OwnedGameString::CopyOf(tag.get());
  const OwnedGameString record_line = OwnedGameString::CopyOf(line.get());
  ChatMessageRecord record{};
  record.sender_name = record_tag.get();
  record.message = record_line.get();
  record.received_time = -1.0;

  ForEachPlayerController([&record](AShooterPlayerController* controller) {
    const auto client_chat_message = host::GameFunction<ClientChatMessageFn>(kClientChatMessage);
    // The game takes the record by value and owns the copy's buffers from the call on.
    OwnedGameString copy_tag = OwnedGameString::CopyOf(record.sender_name);
    OwnedGameString copy_line = OwnedGameString::CopyOf(record.message);
    ChatMessageRecord copy = record;
    copy.sender_name = copy_tag.Release();
    copy.message = copy_line.Release();
    client_chat_message(controller, copy);
  });
}

}  // namespace palaverlink
