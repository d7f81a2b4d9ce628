// Game strings owned by the plug-in: every buffer comes from the game's allocator
// (FMemory.Malloc) and goes back to it (FMemory.Free).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "game/game_records.h"

namespace palaverlink {

void GameFree(void* buffer);  // null is ignored

// The game's allocator, resolved when made: a use that allocates many buffers (a line shown to every
// player) makes one for all of them.
class GameAllocator {
 public:
  GameAllocator();
  // Throws std::bad_alloc when the game has no memory.
  void* Malloc(std::size_t bytes) const;

 private:
  void* (*malloc_)(std::size_t count, std::uint32_t alignment);
};

// A GameString whose buffer the plug-in owns; the buffer goes back to the game's allocator when the
// owner goes, unless it was handed to the game with Release.
class OwnedGameString {
 public:
  OwnedGameString() = default;
  // The text up to, not including, its first zero unit, then one terminating zero; empty text (or
  // text that begins with a zero unit) gives a string without a buffer.
  static OwnedGameString FromText(std::u16string_view text, const GameAllocator& allocator = {});
  // A copy with a buffer of its own holding exactly the source's `count` units.
  static OwnedGameString CopyOf(const GameString& source);

  ~OwnedGameString();
  OwnedGameString(OwnedGameString&& other) noexcept;
  OwnedGameString& operator=(OwnedGameString&& other) noexcept;
  OwnedGameString(const OwnedGameString&) = delete;
  OwnedGameString& operator=(const OwnedGameString&) = delete;

  const GameString& get() const { return string_; }
  // For game functions that fill a string in for the plug-in.
  GameString* out() { return &string_; }
  // Gives the buffer away (to the game); the owner is empty afterwards.
  GameString Release();

 private:
  GameString string_{};
};

}  // namespace palaverlink
