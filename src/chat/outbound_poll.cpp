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
#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/plugin_state.h"
#include "core/settings.h"
#include "game/map_id.h"
#include "link/link_state.h"
#include "link/post_json.h"

namespace palaverlink {
namespace {

// At most one poll is out at a time: with a bot slower than the poll interval, two polls with the
// same cursor would bring the same messages twice.
struct PollInFlight {
  bool outstanding = false;
  std::uint64_t sequence = 0;  // of the poll that is out
  int ticksWaited = 0;         // timer ticks since it was sent
  // How long the bot held it tells a long poll from an at-once answer.
  std::chrono::steady_clock::time_point sentAt;
};

std::int64_t HeldMs(const PollInFlight& poll) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - poll.sentAt)
      .count();
}

PollInFlight& InFlight() {
  static PollInFlight poll;
  return poll;
}

// The poll timer is the clock here: the host runs PollOutbound once every OutboundPollSeconds.
bool OutstandingPollIsLost(const PollInFlight& poll) {
  const std::int64_t interval = std::max(1, Settings().OutboundPollSeconds);
  return poll.ticksWaited * interval > kOutboundPollLostSeconds;
}

void SendPoll() {
  auto& poll = InFlight();
  if (poll.outstanding) {
    ++poll.ticksWaited;
    if (!OutstandingPollIsLost(poll)) return;
    poll.outstanding = false;  // its answer, should it still come, is ignored
  }
  if (LinkState().bridgeDown) return;
  if (!EnsureMapId()) return;

  std::string url = Settings().BridgeUrl + "/api/chat/outbound?mapId=" + MapId() +
                    "&since=" + std::to_string(OutboundCursor());
  if (Settings().OutboundWaitSeconds > 0)
    url += "&waitSeconds=" + std::to_string(Settings().OutboundWaitSeconds);
  const std::uint64_t sequence = ++poll.sequence;
  poll.outstanding = true;
  poll.ticksWaited = 0;
  poll.sentAt = std::chrono::steady_clock::now();
  const bool started = host::SendGet(
      url,
      [sequence](bool success, std::string text) {
        auto& in_flight = InFlight();
        if (!in_flight.outstanding || in_flight.sequence != sequence) return;
        in_flight.outstanding = false;
        HandleOutboundResponse(success, text, HeldMs(in_flight));
      },
      BuildAuthHeaders());
  // A request that never started never completes.
  if (!started) poll.outstanding = false;
}

PollOutcome ShowAnswer(const std::string& text) {
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

}  // namespace

void PollOutbound() {
  RunGuarded("outbound poll", [] { SendPoll(); });
}

void HandleOutboundResponse(bool success, const std::string& response_text, std::int64_t held_ms) {
  RunGuarded("outbound poll", [&] {
    if (!success) {
      MarkLinkDown("GET /api/chat/outbound", response_text);
      return;
    }
    if (PollAgainAtOnce(ShowAnswer(response_text), held_ms, Settings().OutboundWaitSeconds)) SendPoll();
  });
}

}  // namespace palaverlink
