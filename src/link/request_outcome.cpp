#include "link/request_outcome.h"

namespace palaverlink {
namespace {

// Transport errors (libcurl's texts) that come before anything was sent.
constexpr std::string_view kNeverSent[] = {
    "Couldn't resolve host name", "Couldn't resolve proxy name",
    "Couldn't connect to server", "URL using bad/illegal format or missing URL",
    "Unsupported protocol",       "could not start the request",
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int NamedHttpStatus(std::string_view failure_text) {
  constexpr std::string_view kPrefix = "HTTP ";
  if (!failure_text.starts_with(kPrefix)) return 0;
  const std::string_view rest = failure_text.substr(kPrefix.size());
  if (rest.size() < 3 || !IsDigit(rest[0]) || !IsDigit(rest[1]) || !IsDigit(rest[2])) return 0;
  if (rest.size() > 3 && rest[3] != ' ') return 0;
  return (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
}

RequestOutcome ReadOutcome(bool success, std::string_view text) {
  if (success) return {RequestVerdict::kSuccess, Delivery::kAccepted, 0};

  const int status = NamedHttpStatus(text);
  if (status == 0) {
    for (const std::string_view never_sent : kNeverSent) {
      if (text == never_sent) return {RequestVerdict::kLinkLost, Delivery::kNotTaken, 0};
    }
    return {RequestVerdict::kLinkLost, Delivery::kUnknown, 0};
  }
  if (status == 401) return {RequestVerdict::kKeyRejected, Delivery::kNotTaken, status};
  // The bot is there but busy or slow: the link counts as lost until the health probe says otherwise.
  if (status == 408 || status == 429) return {RequestVerdict::kLinkLost, Delivery::kNotTaken, status};
  if (status >= 400 && status < 500) return {RequestVerdict::kRefused, Delivery::kNotTaken, status};
  // "Unable to handle the request" (RFC 9110, 15.6.4): a bot that is shutting down or not ready.
  if (status == 503) return {RequestVerdict::kLinkLost, Delivery::kNotTaken, status};
  return {RequestVerdict::kLinkLost, Delivery::kUnknown, status};
}

}  // namespace palaverlink
