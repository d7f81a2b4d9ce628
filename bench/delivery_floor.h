// The work that showing one line to one player cannot avoid: one copy of the chat record with its
// two string buffers from the game's allocator, and one call of the game's client chat function.
// The game's functions are resolved once here; the plug-in resolves them anew on every use.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "devhost/game_records.h"
#include "devhost/host.h"

namespace palaverlink::bench {

class DeliveryFloor {
 public:
  DeliveryFloor()
      : malloc_(reinterpret_cast<devhost::MallocFn>(::GetAddress(std::string("FMemory.Malloc")))),
        client_chat_message_(reinterpret_cast<devhost::ClientChatMessageFn>(
            ::GetAddress(std::string("AShooterPlayerController.ClientChatMessage")))) {}

  void Show(const std::vector<::AShooterPlayerController*>& players, const std::u16string& tag,
            const std::u16string& line) const {
    for (::AShooterPlayerController* player : players) {
      devhost::FChatMessage record{};
      record.sender_name = Copy(tag);
      record.message = Copy(line);
      record.received_time = -1.0;
      client_chat_message_(player, record);
    }
  }

 private:
  devhost::FString Copy(const std::u16string& text) const {
    const auto units = static_cast<std::int32_t>(text.size() + 1);
    auto* data = static_cast<char16_t*>(malloc_(static_cast<std::size_t>(units) * sizeof(char16_t), 2));
    std::memcpy(data, text.c_str(), static_cast<std::size_t>(units) * sizeof(char16_t));
    return devhost::FString{data, units, units};
  }

  devhost::MallocFn malloc_;
  devhost::ClientChatMessageFn client_chat_message_;
};

}  // namespace palaverlink::bench
