#include "link/post_json.h"

#include <utility>

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/bot_request.h"
#include "link/idempotency_key.h"
#include "link/outbox.h"

namespace palaverlink {

void PostJson(const std::string& path, const nlohmann::json& body, IfUndelivered if_undelivered) {
  std::string text = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  if (Settings().OutageBufferLines > 0) {
    PostInOrder(path, std::move(text), if_undelivered);
    return;
  }
  BotRequest request;
  request.method = HttpMethod::kPost;
  request.path = path;
  request.body = std::move(text);
  request.idempotencyKey = NewIdempotencyKey();
  if (SendToBot(request) == Handover::kBridgeDown && Settings().Debug)
    Log().info(messages::kDroppedPost, path);
}

}  // namespace palaverlink
