// The game's strings read as the plug-in's UTF-8 text.
#pragma once

#include <string>

#include "game/game_records.h"

namespace palaverlink {

// The string's units up to its terminator, as UTF-8; a string without a buffer gives empty text.
std::string GameStringToUtf8(const GameString& text);

}  // namespace palaverlink
