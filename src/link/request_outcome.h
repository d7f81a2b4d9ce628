// What the end of a request to the bot means. The host completes a request with a success flag
// and a text: the answer on success; on failure a text that names the HTTP status the bot answered
// with ("HTTP 413 Payload Too Large") or the transport's error ("Couldn't connect to server",
// "Timeout was reached"). Only this reading turns those texts into decisions.
#pragma once

#include <string_view>

namespace palaverlink {

enum class RequestVerdict {
  kSuccess,      // the bot accepted the request
  kRefused,      // the bot answered 4xx (not 401, 408, 429): this request, not the link, is at fault
  kKeyRejected,  // the bot answered 401
  kLinkLost,     // no answer, a time-out, 408, 429, 5xx or anything else
};

// Whether the bot may have acted on the request: what a caller needs to know before it sends the
// same thing again.
enum class Delivery {
  kAccepted,  // the bot took it
  kNotTaken,  // surely not acted on: never connected, or the bot answered that it did not take it
  kUnknown,   // it may have got there (a time-out or a broken connection after sending, a 5xx)
};

struct RequestOutcome {
  RequestVerdict verdict = RequestVerdict::kLinkLost;
  Delivery delivery = Delivery::kUnknown;
  int status = 0;  // the HTTP status the failure text names; 0 when it names none
};

// The status named by a failure text of the form "HTTP <3 digits>" (then the end or a blank and
// the reason); 0 for any other text.
int NamedHttpStatus(std::string_view failure_text);

RequestOutcome ReadOutcome(bool success, std::string_view text);

}  // namespace palaverlink
