#include "link/post_json.h"

#include <utility>

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/link_state.h"

namespace palaverlink {

SendResult PostJson(const std::string& path, const nlohmann::json& body, OutcomeHandler on_outcome) {
  if (LinkDown()) {
    if (Settings().Debug) Log().info(messages::kDroppedPost, path);
    return SendResult::kLinkDown;
  }
  BotRequest request;
  request.method = HttpMethod::kPost;
  request.path = path;
  request.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  return SendToBot(request, std::move(on_outcome));
}

}  // namespace palaverlink
