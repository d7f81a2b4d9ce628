// The one way a request goes to the bot. SendToBot applies the link-down gate, forms the URL and
// the headers and hands the request to the host; its completion (one guard, named after the
// request) reads the outcome once, lets the link react to it, then tells the caller. Callers say
// what to send and where, never how.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link/bot_address.h"
#include "link/request_outcome.h"

namespace palaverlink {

enum class HttpMethod { kGet, kPost };

// How a request stands to the link state.
enum class LinkRole {
  kGated,  // not sent while the link is down; a lost link or a rejected key takes it down
  kProbe,  // sent whatever the state; its success brings a down link back, its failure does nothing
};

struct BotRequest {
  HttpMethod method = HttpMethod::kGet;
  std::string path;  // "/api/chat/outbound": names the request in warnings, without the query
  std::vector<QueryParam> query;
  std::string body;  // POST only, sent as application/json
  LinkRole role = LinkRole::kGated;
};

enum class SendResult {
  kSent,        // the host took it: the completion will come
  kLinkDown,    // dropped by the gate: nothing went out
  kNotStarted,  // the host refused to start it: no completion will ever come
};

// Runs once per sent request, inside the completion's guard, after the link has reacted: with the
// outcome and the host's text (the answer on success, the failure text otherwise).
using OutcomeHandler = std::function<void(const RequestOutcome& outcome, const std::string& text)>;

SendResult SendToBot(const BotRequest& request, OutcomeHandler on_outcome = nullptr);

// "GET /api/chat/outbound", "POST /api/sessions/sync": how warnings name a request.
std::string OperationName(HttpMethod method, const std::string& path);

}  // namespace palaverlink
