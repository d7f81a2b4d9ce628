// The framework's hook table: for every hookable game function, the game's own implementation and a
// stack of detours. The game dispatches its calls to the top of the stack.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace devhost {

// Who put something into the host: 0 for the host or a test, otherwise the loaded plug-in's number.
using OwnerId = std::uint64_t;

class HookTable {
 public:
  struct Target {
    void* function = nullptr;
    OwnerId owner = 0;  // the detour's owner; 0 for the game's own function
  };

  void Define(const std::string& name, void* own_function);

  bool Install(const std::string& name, void* detour, void** original, OwnerId owner);
  bool Remove(const std::string& name, void* detour);
  // Removes every detour of `owner`; returns the names it was found on.
  std::vector<std::string> RemoveAllOf(OwnerId owner);

  // Where a call of the named function goes now; null function for an unknown name.
  Target Current(const std::string& name) const;
  // The game's own implementation; null for an unknown name.
  void* Own(const std::string& name) const;
  // One entry per installed detour, by game-function name.
  std::vector<std::string> Installed() const;

 private:
  struct Detour {
    void* function = nullptr;
    OwnerId owner = 0;
    void** original_slot = nullptr;
  };
  struct Entry {
    void* own = nullptr;
    std::vector<Detour> detours;  // bottom first
  };
  std::map<std::string, Entry> entries_;
};

}  // namespace devhost
