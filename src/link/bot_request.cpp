#include "link/bot_request.h"

#include <string_view>
#include <utility>

#include "core/guard.h"
#include "core/host/host_api.h"
#include "link/link_state.h"

namespace palaverlink {
namespace {

constexpr char kJsonContentType[] = "application/json";
constexpr std::string_view kCompletionSuffix = " completion";

}  // namespace

std::string OperationName(HttpMethod method, const std::string& path) {
  return (method == HttpMethod::kPost ? "POST " : "GET ") + path;
}

SendResult SendToBot(const BotRequest& request, OutcomeHandler on_outcome) {
  if (request.role == LinkRole::kGated && LinkDown()) return SendResult::kLinkDown;

  const std::string url = BotUrl(request.path, request.query);
  // The completion keeps its own copies: it may run after the caller's data is gone. Its guard is
  // named after the request ("POST /api/chat/inbound completion").
  std::string entry = OperationName(request.method, request.path);
  entry += kCompletionSuffix;
  host::Completion completion = [entry = std::move(entry), role = request.role,
                                 on_outcome = std::move(on_outcome)](bool success, std::string text) {
    RunGuarded(entry, [&] {
      const RequestOutcome outcome = ReadOutcome(success, text);
      if (role == LinkRole::kProbe) {
        NoteProbeOutcome(outcome);
      } else {
        const std::string_view operation(entry.data(), entry.size() - kCompletionSuffix.size());
        NoteOutcome(operation, outcome, text);
      }
      if (on_outcome) on_outcome(outcome, text);
    });
  };

  const bool started =
      request.method == HttpMethod::kPost
          ? host::SendPost(url, std::move(completion), request.body, kJsonContentType, BuildAuthHeaders())
          : host::SendGet(url, std::move(completion), BuildAuthHeaders());
  return started ? SendResult::kSent : SendResult::kNotStarted;
}

}  // namespace palaverlink
