#include "chat/outbound_poll.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "chat/broadcast.h"
#include "chat/outbound_answer.h"
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
  if (LinkDown()) return;
  if (!EnsureMapId()) return;

  BotRequest request;
  request.method = HttpMethod::kGet;
  request.path = kOutboundPath;
  request.query = {{"mapId", MapId()}, {"since", std::to_string(OutboundCursor())}};
  const std::uint64_t sequence = ++poll.sequence;
  poll.outstanding = true;
  poll.ticksWaited = 0;
  const SendResult sent =
      SendToBot(request, [sequence](const RequestOutcome& outcome, const std::string& text) {
        auto& in_flight = InFlight();
        if (!in_flight.outstanding || in_flight.sequence != sequence) return;
        in_flight.outstanding = false;
        if (outcome.result == RequestResult::kSuccess) ShowOutboundAnswer(text);
      });
  if (sent != SendResult::kSent) poll.outstanding = false;
}

void ShowOutboundAnswer(const std::string& text) {
  const OutboundAnswer answer = ReadOutboundAnswer(text);
  if (answer.shape == OutboundAnswerShape::kUnparsable) {
    Log().warn(messages::kOutboundUnparsable, AnswerExcerpt(text));
    return;
  }
  if (answer.shape == OutboundAnswerShape::kMissingMessages) {
    Log().warn(messages::kOutboundMissingMessages, AnswerExcerpt(text));
    return;
  }
  if (!answer.elements.empty() && Settings().Debug) {
    Log().info(messages::kOutboundDelivered, answer.elements.size());
  }

  std::size_t skipped = 0;
  for (const OutboundElement& element : answer.elements) {
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
}

}  // namespace palaverlink
