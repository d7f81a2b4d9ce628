#include "hook_table.h"

#include <algorithm>

namespace devhost {

void HookTable::Define(const std::string& name, void* own_function) { entries_[name].own = own_function; }

bool HookTable::Install(const std::string& name, void* detour, void** original, OwnerId owner) {
  auto it = entries_.find(name);
  if (it == entries_.end() || detour == nullptr || original == nullptr) return false;
  Entry& entry = it->second;
  *original = entry.detours.empty() ? entry.own : entry.detours.back().function;
  entry.detours.push_back(Detour{detour, owner, original});
  return true;
}

bool HookTable::Remove(const std::string& name, void* detour) {
  auto it = entries_.find(name);
  if (it == entries_.end()) return false;
  auto& detours = it->second.detours;
  auto found = std::find_if(detours.rbegin(), detours.rend(),
                            [detour](const Detour& d) { return d.function == detour; });
  if (found == detours.rend()) return false;
  auto position = std::next(found).base();
  // A detour above the removed one kept its original pointing at the removed detour: point it
  // at what the removed detour called instead, so calls skip the removed code.
  auto above = std::next(position);
  if (above != detours.end() && above->original_slot != nullptr) {
    *above->original_slot = position == detours.begin() ? it->second.own : std::prev(position)->function;
  }
  detours.erase(position);
  return true;
}

std::vector<std::string> HookTable::RemoveAllOf(OwnerId owner) {
  std::vector<std::string> names;
  for (auto& [name, entry] : entries_) {
    for (auto i = entry.detours.size(); i-- > 0;) {
      if (entry.detours[i].owner == owner) {
        names.push_back(name);
        Remove(name, entry.detours[i].function);
      }
    }
  }
  return names;
}

HookTable::Target HookTable::Current(const std::string& name) const {
  auto it = entries_.find(name);
  if (it == entries_.end()) return {};
  if (it->second.detours.empty()) return Target{it->second.own, 0};
  const Detour& top = it->second.detours.back();
  return Target{top.function, top.owner};
}

void* HookTable::Own(const std::string& name) const {
  auto it = entries_.find(name);
  return it == entries_.end() ? nullptr : it->second.own;
}

std::vector<std::string> HookTable::Installed() const {
  std::vector<std::string> names;
  for (const auto& [name, entry] : entries_) {
    for (std::size_t i = 0; i < entry.detours.size(); ++i) names.push_back(name);
  }
  return names;
}

}  // namespace devhost
