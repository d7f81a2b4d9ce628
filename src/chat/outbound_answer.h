// What the outbound poll's completion does with an answer: walks it, moves the cursor, shows the
// messages the walk chose, and writes the warnings about it, each once per run of such answers.
#pragma once

#include <string_view>

namespace palaverlink {

// What showing one answer did.
struct ShownAnswer {
  bool cursorMoved = false;  // the answer brought messages newer than the cursor
  bool more = false;         // the answer held more than one completion shows
};

// A malformed element is skipped and the elements after it are still shown. The outcome says
// whether to poll again at once.
ShownAnswer ShowOutboundAnswer(std::string_view answer_text);

}  // namespace palaverlink
