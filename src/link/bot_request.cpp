#include "link/bot_request.h"

#include <utility>

#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/settings.h"

namespace palaverlink {
namespace {

constexpr char kJsonContentType[] = "application/json";

}  // namespace

Handover SendToBot(const BotRequest& request, OutcomeHandler on_outcome) {
  if (request.role == LinkRole::kGated && LinkIsDown()) return Handover::kLinkDown;

  const std::string url = BotUrl(Settings().BridgeUrl, request.endpoint.path, request.query);
  std::vector<std::string> headers = AuthHeaders(Settings().ApiKey);
  if (!request.idempotencyKey.empty()) headers.push_back(IdempotencyKeyHeader(request.idempotencyKey));

  // The completion keeps its own copies: it may run after the caller's data is gone.
  host::Completion completion = [method = request.endpoint.method, path = std::string(request.endpoint.path),
                                 role = request.role, on_outcome = std::move(on_outcome)](host::Reply reply) {
    const Endpoint endpoint{method, path};
    RunGuarded(Describe(endpoint) + " completion", [&] {
      const RequestOutcome outcome = ReadOutcome(reply);
      const std::string text =
          outcome.verdict == RequestVerdict::kSuccess ? std::move(reply.body) : DescribeFailure(reply);
      const LinkChange change =
          role == LinkRole::kProbe ? NoteProbeOutcome(outcome) : NoteOutcome(endpoint, outcome, text);
      if (on_outcome) on_outcome(outcome, text, change);
    });
  };

  const bool started =
      request.endpoint.method == HttpMethod::kPost
          ? host::SendPost(url, std::move(completion), request.body, kJsonContentType, std::move(headers))
          : host::SendGet(url, std::move(completion), std::move(headers));
  return started ? Handover::kStarted : Handover::kHostRefused;
}

}  // namespace palaverlink
