#include "command_table.h"

#include <algorithm>
#include <cctype>

namespace devhost {
namespace {

std::string Key(std::string_view name) {
  std::string key(name);
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key;
}

std::string_view FirstWord(const std::string& text) {
  const auto start = text.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  const auto end = text.find(' ', start);
  return std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

bool CommandTable::Add(CommandWay way, const std::string& name, Entry entry) {
  return entries_.emplace(std::pair{way, Key(name)}, std::move(entry)).second;
}

bool CommandTable::Remove(CommandWay way, const std::string& name) {
  return entries_.erase(std::pair{way, Key(name)}) > 0;
}

std::vector<std::string> CommandTable::RemoveAllOf(OwnerId owner) {
  std::vector<std::string> names;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->second.owner == owner) {
      names.push_back(it->first.second);
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
  return names;
}

std::optional<CommandTable::Entry> CommandTable::Find(CommandWay way, const std::string& text) const {
  const auto found = entries_.find(std::pair{way, Key(FirstWord(text))});
  if (found == entries_.end()) return std::nullopt;
  return found->second;
}

bool CommandTable::Has(CommandWay way, const std::string& name) const {
  return entries_.contains(std::pair{way, Key(name)});
}

}  // namespace devhost
