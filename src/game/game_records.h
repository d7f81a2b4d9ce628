// The game's plain records, in the game's own layouts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace palaverlink {

// The game's string: UTF-16 units and a terminating zero unit, `count` including the terminator
// (0 when empty). Its buffer belongs to the game's allocator.
struct GameString {
  char16_t* data = nullptr;
  std::int32_t count = 0;
  std::int32_t capacity = 0;
};
static_assert(sizeof(GameString) == 16);

// A weak reference to a game object, resolved by the game's FWeakObjectPtr.Get.
struct WeakObjectRef {
  std::int32_t object_index = 0;
  std::int32_t serial_number = 0;
};
static_assert(sizeof(WeakObjectRef) == 8);

// The game's array header.
template <typename T>
struct GameArray {
  T* data = nullptr;
  std::int32_t count = 0;
  std::int32_t capacity = 0;
};
static_assert(sizeof(GameArray<WeakObjectRef>) == 16);

// The game's chat record, passed by value to AShooterPlayerController.ClientChatMessage.
struct ChatMessageRecord {
  GameString sender_name;              // 0: the sender tag
  GameString sender_steam_name;        // 16
  GameString sender_tribe_name;        // 32
  std::uint32_t sender_id = 0;         // 48
  GameString message;                  // 56: the chat line
  GameString receiver;                 // 72
  std::int32_t sender_team_index = 0;  // 88
  double received_time = -1.0;         // 96
  std::uint8_t send_mode = 0;          // 104
  std::uint32_t radio_frequency = 0;   // 108
  std::uint8_t chat_type = 0;          // 112
  void* sender_icon = nullptr;         // 120
  GameString user_id;                  // 128
};
static_assert(sizeof(ChatMessageRecord) == 144);
static_assert(offsetof(ChatMessageRecord, message) == 56);
static_assert(offsetof(ChatMessageRecord, received_time) == 96);
static_assert(offsetof(ChatMessageRecord, send_mode) == 104);
static_assert(offsetof(ChatMessageRecord, radio_frequency) == 108);
static_assert(offsetof(ChatMessageRecord, chat_type) == 112);
static_assert(offsetof(ChatMessageRecord, sender_icon) == 120);
static_assert(offsetof(ChatMessageRecord, user_id) == 128);

// The game's RCON packet: the length, the id the reply answers to, the type, the text.
struct RconPacketRecord {
  std::int32_t length = 0;
  std::int32_t id = 0;
  std::int32_t type = 0;
  GameString body;
};
static_assert(offsetof(RconPacketRecord, id) == 4);
static_assert(offsetof(RconPacketRecord, body) == 16);

// The game's colour, by value in AShooterPlayerController.ClientServerChatDirectMessage.
struct LinearColor {
  float r = 0;
  float g = 0;
  float b = 0;
  float a = 0;
};
static_assert(sizeof(LinearColor) == 16);

}  // namespace palaverlink
