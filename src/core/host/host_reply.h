// How a request ended, read once from the framework's completion (a success flag and one text) by
// the host adapter, so that nothing else in the plug-in reads the framework's words.
#pragma once

#include <string>
#include <string_view>

namespace palaverlink::host {

// The words for a request that never started, in the log and wherever a reply is made up for one.
inline constexpr char kNotStartedText[] = "could not start the request";

enum class ReplyKind {
  kAccepted,  // the bot answered with a 2xx status (the framework does not say which)
  kAnswered,  // the bot answered with another status: `status`
  kNotSent,   // no answer, and the request surely never reached the bot (no connection was made)
  kLost,      // no answer, and the request may have reached the bot (a time-out, a broken connection)
};

struct Reply {
  ReplyKind kind = ReplyKind::kLost;
  int status = 0;  // kAnswered: the HTTP status; 0 otherwise
  // All but kAccepted: the framework's words, the status line ("HTTP 413 Payload Too Large") or the
  // transport's error ("Couldn't connect to server").
  std::string failure;
  // kAccepted: the answer; kAnswered: the answer's body as the framework gave it (may be empty).
  std::string body;
};

// The framework's completion read into a reply: on failure, a text that begins with "HTTP " and
// three digits (then the end, a blank and the reason, or a line break and the body) names the
// status; any other text is the transport's error, known by its words when it means that nothing
// was sent.
Reply ReadFrameworkReply(bool success, std::string text);

}  // namespace palaverlink::host
