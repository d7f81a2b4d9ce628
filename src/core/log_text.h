// Keeping every log line one line: control characters in a message become visible escapes.
#pragma once

#include <string>
#include <string_view>

namespace palaverlink {

// "\n" and "\r" for line feed and carriage return, "\xNN" (upper-case hex) for the other control
// characters, "\uNNNN" for the layout characters of several bytes (core/control_characters.h:
// C1 controls, line and paragraph separators, bidirectional controls); every other byte as it is.
std::string EscapeControlCharacters(std::string_view text);

}  // namespace palaverlink
