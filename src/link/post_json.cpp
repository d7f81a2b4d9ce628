#include "link/post_json.h"

#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "link/link_state.h"

namespace palaverlink {
namespace {

constexpr char kBearerPrefix[] = "Authorization: Bearer ";

void OnPostDone(const std::string& path, bool success, const std::string& text) {
  if (success) {
    if (Settings().Debug) Log().info(messages::kPostOk, path);
    return;
  }
  MarkLinkDown("POST " + path, text);
}

}  // namespace

std::vector<std::string> BuildAuthHeaders() {
  const std::string& key = Settings().ApiKey;
  if (key.empty()) return {};
  return {kBearerPrefix + key};
}

void PostJson(const std::string& path, const nlohmann::json& body) {
  if (LinkState().bridgeDown) {
    if (Settings().Debug) Log().info(messages::kDroppedPost, path);
    return;
  }
  const std::string url = Settings().BridgeUrl + path;
  const std::string text = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  // The completion keeps nothing but its own copy of the path.
  host::SendPost(
      url,
      [path](bool success, const std::string& response) {
        RunGuarded("POST completion", [&] { OnPostDone(path, success, response); });
      },
      text, "application/json", BuildAuthHeaders());
}

}  // namespace palaverlink
