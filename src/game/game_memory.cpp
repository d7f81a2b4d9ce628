#include "game/game_memory.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "core/host/host_api.h"
#include "game/game_names.h"

namespace palaverlink {
namespace {

using MallocFn = void* (*)(std::size_t count, std::uint32_t alignment);
using FreeFn = void (*)(void* original);

// A buffer of `units` UTF-16 units, from the game's allocator.
char16_t* AllocateUnits(std::int32_t units, const GameAllocator& allocator) {
  return static_cast<char16_t*>(allocator.Malloc(static_cast<std::size_t>(units) * sizeof(char16_t)));
}

// For destructors: a buffer that cannot go back (the game lost its allocator) is left alone
// rather than ending the process.
void FreeQuietly(void* buffer) noexcept {
  try {
    GameFree(buffer);
  } catch (...) {
  }
}

}  // namespace

GameAllocator::GameAllocator() : malloc_(host::GameFunction<MallocFn>(game_names::kMalloc)) {}

void* GameAllocator::Malloc(std::size_t bytes) const {
  void* buffer = malloc_(bytes, alignof(char16_t));
  if (buffer == nullptr) throw std::bad_alloc();
  return buffer;
}

void GameFree(void* buffer) {
  if (buffer == nullptr) return;
  host::GameFunction<FreeFn>(game_names::kFree)(buffer);
}

OwnedGameString OwnedGameString::FromText(std::u16string_view text, const GameAllocator& allocator) {
  const std::size_t length = text.find(u'\0');
  if (length != std::u16string_view::npos) text = text.substr(0, length);
  OwnedGameString result;
  if (text.empty()) return result;
  const auto units = static_cast<std::int32_t>(text.size() + 1);
  char16_t* buffer = AllocateUnits(units, allocator);
  std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
  buffer[text.size()] = u'\0';
  result.string_ = GameString{buffer, units, units};
  return result;
}

OwnedGameString OwnedGameString::CopyOf(const GameString& source) {
  OwnedGameString result;
  if (source.data == nullptr || source.count <= 0) return result;
  char16_t* buffer = AllocateUnits(source.count, GameAllocator());
  std::memcpy(buffer, source.data, static_cast<std::size_t>(source.count) * sizeof(char16_t));
  result.string_ = GameString{buffer, source.count, source.count};
  return result;
}

OwnedGameString::~OwnedGameString() { FreeQuietly(string_.data); }

OwnedGameString::OwnedGameString(OwnedGameString&& other) noexcept
    : string_(std::exchange(other.string_, {})) {}

OwnedGameString& OwnedGameString::operator=(OwnedGameString&& other) noexcept {
  if (this != &other) {
    FreeQuietly(string_.data);
    string_ = std::exchange(other.string_, {});
  }
  return *this;
}

GameString OwnedGameString::Release() { return std::exchange(string_, {}); }

}  // namespace palaverlink
