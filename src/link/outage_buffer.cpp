#include "link/outage_buffer.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/plugin_state.h"
#include "core/settings.h"
#include "link/link_state.h"

namespace palaverlink {
namespace {

OutageBufferData& Buffer() { return State().outageBuffer; }

// A refusal reached the bot and would be refused again; a kept line must surely not have reached it.
bool WorthKeeping(const RequestOutcome& outcome) {
  return outcome.delivery == Delivery::kNotTaken && outcome.result != RequestResult::kRefused;
}

// In the order the posts were made; beyond the limit the oldest goes.
void Keep(KeptPost post) {
  auto& buffer = Buffer();
  const auto after =
      std::upper_bound(buffer.posts.begin(), buffer.posts.end(), post.sequence,
                       [](std::uint64_t sequence, const KeptPost& kept) { return sequence < kept.sequence; });
  buffer.posts.insert(after, std::move(post));
  const auto limit = static_cast<std::size_t>(std::max(0, Settings().OutageBufferLines));
  while (buffer.posts.size() > limit) {
    buffer.posts.pop_front();
    ++buffer.dropped;
  }
}

SendResult Send(const KeptPost& post, bool kept_before) {
  BotRequest request;
  request.method = HttpMethod::kPost;
  request.path = post.path;
  request.body = post.body;
  return SendToBot(request, [post, kept_before](const RequestOutcome& outcome, const std::string&) {
    auto& buffer = Buffer();
    if (kept_before) buffer.sending = false;
    if (WorthKeeping(outcome)) {
      Keep(post);
    } else if (kept_before) {
      ++buffer.sent;  // accepted, refused, or it may have got there: never again
    }
    if (kept_before) SendKeptPosts();
  });
}

}  // namespace

bool KeepsWhileDown(const std::string& path) {
  return Settings().OutageBufferLines > 0 && (path == "/api/chat/inbound" || path == "/api/sessions/leave");
}

SendResult PostThroughBuffer(const std::string& path, std::string body) {
  auto& buffer = Buffer();
  KeptPost post{++buffer.nextSequence, path, std::move(body)};
  if (LinkDown() || buffer.sending || !buffer.posts.empty()) {
    if (LinkDown() && Settings().Debug) Log().info(messages::kKeptPost, path);
    Keep(std::move(post));
    SendKeptPosts();
    return SendResult::kLinkDown;
  }
  return Send(post, /*kept_before=*/false);
}

void SendKeptPosts() {
  auto& buffer = Buffer();
  while (!buffer.sending && !LinkDown() && !buffer.posts.empty()) {
    KeptPost post = std::move(buffer.posts.front());
    buffer.posts.pop_front();
    buffer.sending = true;
    const SendResult sent = Send(post, /*kept_before=*/true);
    if (sent == SendResult::kSent) return;
    buffer.sending = false;
    if (sent == SendResult::kLinkDown) {
      buffer.posts.push_front(std::move(post));
      return;
    }
    ++buffer.dropped;  // the host would not start it: trying again would block what follows
  }
  if (buffer.sending || !buffer.posts.empty() || LinkDown()) return;
  if (buffer.sent > 0 || buffer.dropped > 0) {
    Log().info(messages::kOutageBufferSent, buffer.sent, buffer.dropped, Settings().OutageBufferLines);
    buffer.sent = 0;
    buffer.dropped = 0;
  }
}

}  // namespace palaverlink
