#include "devbot/map_names.h"

namespace devbot {

std::string DisplayMapName(std::string_view map_id) {
  std::string name;
  bool word_start = true;
  for (char c : map_id) {
    if (c == '-' || c == '_') {
      word_start = true;
      continue;
    }
    if (word_start && !name.empty()) name += ' ';
    name += (word_start && c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    word_start = false;
  }
  return name;
}

}  // namespace devbot
