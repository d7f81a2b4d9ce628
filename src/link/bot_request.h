// The one way a request goes to the bot. SendToBot applies the link-down gate (the only one),
// forms the URL and the headers and hands the request to the host; its completion (one guard,
// named after the request) reads the outcome once, lets the link react to it, then tells the
// caller. Callers say what to send and where, never how; this is the only code that reads BridgeUrl
// and ApiKey for requests.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/bot_endpoints.h"
#include "link/link_state.h"
#include "link/request_form.h"
#include "link/request_outcome.h"

namespace palaverlink {

// How a request stands to the link state.
enum class LinkRole {
  kGated,  // not sent while the link is down; a lost link or a rejected key takes it down
  kProbe,  // sent whatever the state; its success brings a down link back, its failure does nothing
};

struct BotRequest {
  Endpoint endpoint;  // its path is read during SendToBot only
  std::vector<QueryParam> query;
  std::string body;            // POST only, sent as application/json
  std::string idempotencyKey;  // POST only: sent as the Idempotency-Key header when not empty
  LinkRole role = LinkRole::kGated;
};

// What became of a request handed to SendToBot.
enum class Handover {
  kStarted,      // the host took it: the completion will come
  kLinkDown,     // stopped by the link-down gate: nothing went out
  kHostRefused,  // the host would not start it: no completion will ever come
};

// Runs once per started request, inside the completion's guard, after the link has reacted: with
// the outcome, a text (the answer on success, otherwise the failure as DescribeFailure names it,
// for warnings only) and what the outcome did to the link.
using OutcomeHandler =
    std::function<void(const RequestOutcome& outcome, const std::string& text, LinkChange change)>;

Handover SendToBot(const BotRequest& request, OutcomeHandler on_outcome = nullptr);

}  // namespace palaverlink
