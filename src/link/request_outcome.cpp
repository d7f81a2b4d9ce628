#include "link/request_outcome.h"

#include "core/utf8_boundary.h"

namespace palaverlink {

RequestOutcome ReadOutcome(const host::Reply& reply) {
  switch (reply.kind) {
    case host::ReplyKind::kAccepted:
      return {RequestVerdict::kSuccess, Delivery::kAccepted, 0};
    case host::ReplyKind::kNotSent:
      return {RequestVerdict::kLinkLost, Delivery::kNotTaken, 0};
    case host::ReplyKind::kLost:
      return {RequestVerdict::kLinkLost, Delivery::kUnknown, 0};
    case host::ReplyKind::kAnswered:
      break;
  }
  const int status = reply.status;
  if (status == 401) return {RequestVerdict::kKeyRejected, Delivery::kNotTaken, status};
  // The bot is there but busy or slow: the link counts as lost until the health probe says otherwise.
  if (status == 408 || status == 429) return {RequestVerdict::kLinkLost, Delivery::kNotTaken, status};
  if (status >= 400 && status < 500) return {RequestVerdict::kRefused, Delivery::kNotTaken, status};
  // "Unable to handle the request" (RFC 9110, 15.6.4): a bot that is shutting down or not ready.
  if (status == 503) return {RequestVerdict::kLinkLost, Delivery::kNotTaken, status};
  return {RequestVerdict::kLinkLost, Delivery::kUnknown, status};
}

std::string DescribeFailure(const host::Reply& reply) {
  if (reply.body.empty()) return reply.failure;
  const std::size_t keep = WholeCharactersWithin(reply.body, kQuotedAnswerBytes);
  std::string described = reply.failure + ", answered \"";
  described.append(reply.body, 0, keep);
  described += keep < reply.body.size() ? "...\"" : "\"";
  return described;
}

}  // namespace palaverlink
