#include "chat/outbound_poll.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chat/answer_skim.h"
#include "chat/broadcast.h"
#include "chat/outbound_answer.h"
#include "chat/outbound_batch.h"
#include "chat/poll_pace.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/plugin_state.h"
#include "core/settings.h"
#include "game/map_id.h"
#include "link/bot_request.h"
#include "link/link_state.h"

namespace palaverlink {
namespace {

constexpr char kOutboundPath[] = "/api/chat/outbound";

// At most one poll is out at a time: with a bot slower than the poll interval, two polls with the
// same cursor would bring the same messages twice.
PollInFlight& InFlight() { return State().poll; }

std::int64_t HeldMs(const PollInFlight& poll) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - poll.sentAt)
      .count();
}

// The poll timer is the clock here: the host runs PollOutbound once every OutboundPollSeconds.
bool OutstandingPollIsLost(const PollInFlight& poll) {
  const std::int64_t interval = std::max(1, Settings().OutboundPollSeconds);
  return poll.ticksWaited * interval > kOutboundPollLostSeconds;
}

}  // namespace

void PollOutbound() {
  auto& poll = InFlight();
  if (poll.outstanding) {
    ++poll.ticksWaited;
    if (!OutstandingPollIsLost(poll)) return;
    poll.outstanding = false;  // its answer, should it still come, is ignored
  }
  if (LinkState().bridgeDown) return;
  if (!EnsureMapId()) return;

  BotRequest request;
  request.method = HttpMethod::kGet;
  request.path = kOutboundPath;
  request.query = {{"mapId", MapId()}, {"since", std::to_string(OutboundCursor())}};
  const int wait_seconds = Settings().OutboundWaitSeconds;
  if (wait_seconds > 0) request.query.push_back({"waitSeconds", std::to_string(wait_seconds)});
  const std::uint64_t sequence = ++poll.sequence;
  poll.outstanding = true;
  poll.ticksWaited = 0;
  poll.sentAt = std::chrono::steady_clock::now();
  const Handover sent =
      SendToBot(request, [sequence](const RequestOutcome& outcome, const std::string& text, LinkChange) {
        auto& in_flight = InFlight();
        if (!in_flight.outstanding || in_flight.sequence != sequence) return;
        in_flight.outstanding = false;
        if (outcome.result != RequestResult::kSuccess) return;
        const PollOutcome shown = ShowOutboundAnswer(text);
        if (PollAgainAtOnce(shown, HeldMs(in_flight), Settings().OutboundWaitSeconds)) PollOutbound();
      });
  if (sent != Handover::kStarted) poll.outstanding = false;
}

PollOutcome ShowOutboundAnswer(const std::string& text) {
  const SkimmedAnswer answer = SkimOutboundAnswer(text);
  if (answer.shape == SkimShape::kUnparsable) {
    Log().warn(messages::kOutboundUnparsable, AnswerExcerpt(text));
    return {};
  }
  if (answer.shape == SkimShape::kMissingMessages) {
    Log().warn(messages::kOutboundMissingMessages, AnswerExcerpt(text));
    return {};
  }
  std::vector<std::optional<std::int64_t>> times;
  times.reserve(answer.elements.size());
  for (const SkimmedElement& element : answer.elements) times.push_back(element.createdAt);
  const OutboundBatch batch = ChooseOutboundBatch(times, OutboundCursor(), kShownPerCompletion);
  if (!batch.now.empty() && Settings().Debug) Log().info(messages::kOutboundDelivered, batch.now.size());

  const std::int64_t cursor_before = OutboundCursor();
  std::size_t skipped = 0;
  for (std::size_t index : batch.now) {
    const OutboundElement element = ReadSkimmedElement(answer.elements[index]);
    if (element.createdAt && *element.createdAt > OutboundCursor()) OutboundCursor() = *element.createdAt;
    if (!element.message) {
      ++skipped;
      continue;
    }
    const OutboundMessage& message = *element.message;
    if (Settings().Debug) {
      Log().info(messages::kOutboundMessage, message.kind, message.author, message.message);
    }
    BroadcastChatLine(message.senderTag, message.chatLine);
  }
  if (skipped > 0) Log().warn(messages::kOutboundSkipped, skipped, AnswerExcerpt(text));
  return {OutboundCursor() > cursor_before, batch.more};
}

}  // namespace palaverlink
