// What the end of a request to the bot means. The host adapter reads the framework's completion
// into a reply (core/host/host_reply.h): accepted, answered with a status, or no answer (surely not
// sent, or perhaps sent). Only this reading turns a reply into decisions.
#pragma once

#include <cstddef>
#include <string>

#include "core/host/host_reply.h"

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
  int status = 0;  // the HTTP status of a failed answer; 0 when there was none
};

RequestOutcome ReadOutcome(const host::Reply& reply);

// The most of a failed answer's body that a warning quotes: enough to tell an HTML error page from
// a JSON refusal, short enough to keep the line one line on a screen.
inline constexpr std::size_t kQuotedAnswerBytes = 120;

// A failure as warnings name it: the framework's words, then the start of the answer when it had
// one (HTTP 500 Internal Server Error, answered "<html>..."), cut at a whole character.
std::string DescribeFailure(const host::Reply& reply);

}  // namespace palaverlink
