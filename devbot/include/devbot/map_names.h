// How the bot names a map to the players of other maps.
#pragma once

#include <string>
#include <string_view>

namespace devbot {

// The words of the map id (separated by '-' or '_'), each with its first letter in upper case,
// joined by blanks: "the-island" gives "The Island", "genesis-part-2" gives "Genesis Part 2".
std::string DisplayMapName(std::string_view map_id);

}  // namespace devbot
