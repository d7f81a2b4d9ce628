// The game's plain records, in the game's own layouts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "arkapi/framework.h"

namespace devhost {

// The game's string: UTF-16 units with a terminating zero unit, counted with the terminator
// (0 for an empty string); the buffer belongs to the game's allocator.
struct FString {
  char16_t* data = nullptr;
  std::int32_t count = 0;
  std::int32_t capacity = 0;
};
static_assert(sizeof(FString) == 16);
static_assert(offsetof(FString, count) == 8);

// A weak reference to a game object: resolves through FWeakObjectPtr.Get while the object lives.
struct FWeakObjectPtr {
  std::int32_t object_index = 0;
  std::int32_t serial_number = 0;
};
static_assert(sizeof(FWeakObjectPtr) == 8);

// The game's array header.
template <typename T>
struct TArray {
  T* data = nullptr;
  std::int32_t count = 0;
  std::int32_t capacity = 0;
};
static_assert(sizeof(TArray<FWeakObjectPtr>) == 16);

// The game's chat record, the by-value argument of AShooterPlayerController.ClientChatMessage.
struct FChatMessage {
  FString sender_name;             // 0
  FString sender_steam_name;       // 16
  FString sender_tribe_name;       // 32
  std::uint32_t sender_id;         // 48
  FString message;                 // 56
  FString receiver;                // 72
  std::int32_t sender_team_index;  // 88
  double received_time;            // 96
  std::uint8_t send_mode;          // 104
  std::uint32_t radio_frequency;   // 108
  std::uint8_t chat_type;          // 112
  void* sender_icon;               // 120
  FString user_id;                 // 128
};
static_assert(sizeof(FChatMessage) == 144);
static_assert(offsetof(FChatMessage, sender_steam_name) == 16);
static_assert(offsetof(FChatMessage, sender_tribe_name) == 32);
static_assert(offsetof(FChatMessage, sender_id) == 48);
static_assert(offsetof(FChatMessage, message) == 56);
static_assert(offsetof(FChatMessage, receiver) == 72);
static_assert(offsetof(FChatMessage, sender_team_index) == 88);
static_assert(offsetof(FChatMessage, received_time) == 96);
static_assert(offsetof(FChatMessage, send_mode) == 104);
static_assert(offsetof(FChatMessage, radio_frequency) == 108);
static_assert(offsetof(FChatMessage, chat_type) == 112);
static_assert(offsetof(FChatMessage, sender_icon) == 120);
static_assert(offsetof(FChatMessage, user_id) == 128);

// The game's colour record, by value in AShooterPlayerController.ClientServerChatDirectMessage.
struct FLinearColor {
  float r = 0;
  float g = 0;
  float b = 0;
  float a = 0;
};
static_assert(sizeof(FLinearColor) == 16);

// Signatures of the game functions, the object first (as the game's member functions take it).
using ServerSendChatMessageFn = void (*)(::AShooterPlayerController* self, FString* message, int send_mode);
using LogoutFn = void (*)(::AShooterGameMode* self, ::AController* exiting);
using HandleNewPlayerFn = bool (*)(::AShooterGameMode* self, ::AShooterPlayerController* new_player,
                                   ::UPrimalPlayerData* player_data, ::AShooterCharacter* character,
                                   bool is_from_login);
using ClientServerChatDirectMessageFn = void (*)(::AShooterPlayerController* self, FString* message,
                                                 FLinearColor color, bool is_bold);
using RconSendMessageFn = void (*)(::RCONClientConnection* self, std::int32_t id, std::int32_t type,
                                   FString* message);
using GetUniqueNetIdAsUint64Fn = std::uint64_t (*)(::AShooterPlayerController* self);
using GetPlayerCharacterNameFn = FString* (*)(::AShooterPlayerController* self, FString* result);
using GetMapNameFn = FString* (*)(::UWorld* self, FString* result);
using WeakGetFn = ::UObject* (*)(const FWeakObjectPtr* self, bool even_if_pending_kill);
using ClientChatMessageFn = void (*)(::AShooterPlayerController* self, FChatMessage message);
using MallocFn = void* (*)(std::size_t count, std::uint32_t alignment);
using ReallocFn = void* (*)(void* original, std::size_t count, std::uint32_t alignment);
using FreeFn = void (*)(void* original);

}  // namespace devhost

// The game's RCON packet, a plain record: the length, the id the client answers to, the type and
// the text. The game owns its string.
struct RCONPacket {
  std::int32_t length = 0;
  std::int32_t id = 0;
  std::int32_t type = 0;
  devhost::FString body;
};
static_assert(offsetof(RCONPacket, id) == 4);
static_assert(offsetof(RCONPacket, body) == 16);
