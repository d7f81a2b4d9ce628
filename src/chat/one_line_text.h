// What players see, and what the bot gets from a player, is one line as its sender wrote it: no
// character in it may start another line, or make the line read as another one.
#pragma once

#include <cstddef>
#include <string>

namespace palaverlink {

// Line breaks and tabs (LF, CR, VT, FF, TAB, U+0085, U+2028, U+2029) become one blank each, so the
// words on either side stay apart; every other control character (C0, DEL, C1) and the
// bidirectional controls (U+202A-U+202E, U+2066-U+2069) are removed, as they draw nothing. Returns
// how many characters were replaced or removed.
std::size_t MakeOneLine(std::string& text);

}  // namespace palaverlink
