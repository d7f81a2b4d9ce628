#include "link/post_json.h"

#include <utility>

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/bot_request.h"
#include "link/idempotency_key.h"
#include "link/outage_buffer.h"
#include "link/request_form.h"

namespace palaverlink {
namespace {

std::size_t dropped_while_down = 0;

}  // namespace

bool PostJson(const Endpoint& endpoint, const nlohmann::json& body, IfUndelivered if_undelivered,
              std::function<void()> on_answered) {
  std::string text = JsonBodyText(body);
  if (Settings().OutageBufferLines > 0) {
    PostInOrder(std::string(endpoint.path), std::move(text), if_undelivered);
    return false;  // the outbox sends it, in its turn
  }
  BotRequest request;
  request.endpoint = endpoint;
  request.body = std::move(text);
  request.idempotencyKey = NewIdempotencyKey();
  OutcomeHandler handler;
  if (on_answered) {
    handler = [on_answered = std::move(on_answered)](const RequestOutcome&, const std::string&, LinkChange) {
      on_answered();
    };
  }
  const Handover handover = SendToBot(request, std::move(handler));
  if (handover == Handover::kLinkDown) {
    if (if_undelivered == IfUndelivered::kResend) ++dropped_while_down;
    if (Settings().Debug) Log().info(messages::kDroppedPost, endpoint.path);
  }
  return handover == Handover::kStarted;
}

std::size_t DroppedWhileDown() { return dropped_while_down; }

void ResetDroppedWhileDown() { dropped_while_down = 0; }

}  // namespace palaverlink
