#include "chat/outbound_poll.h"

#include <cstdint>
#include <optional>
#include <string>

#include "chat/outbound_answer.h"
#include "chat/outbound_poll_state.h"
#include "chat/poll_pace.h"
#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/settings.h"
#include "game/map_id.h"
#include "link/bot_request.h"
#include "link/link_state.h"

namespace palaverlink {
namespace {

constexpr int kPaceTimerSeconds = 1;
// An outstanding poll older than this is counted as lost, so that polling never stops for good.
constexpr int kOutboundPollLostSeconds = 30;

// The poll that is out, and its pace.
struct PollRecord {
  // At most one poll is out at a time: with a bot slower than the poll interval, two polls with the
  // same cursor would bring the same messages twice.
  bool outstanding = false;
  std::uint64_t sequence = 0;  // of the poll that is out
  int secondsOut = 0;          // seconds of the pace timer since it was sent
  PollPace pace;
  // A poll at once that a completion asked for and the pace held back: the pace timer sends it.
  std::optional<NextPoll> heldBack;
};

PollRecord& Poll() {
  static auto* const record = new PollRecord();  // never destroyed: see core/guard.cpp
  return *record;
}

void PollAtOnce(NextPoll next);

void SendPoll(NextPoll why) {
  PollRecord& poll = Poll();
  if (!EnsureMapId()) return;

  BotRequest request;
  request.endpoint = endpoints::kChatOutbound;
  request.query = OutboundPollQuery(MapId(), OutboundCursor(), Settings().OutboundWaitSeconds);
  const std::uint64_t sequence = ++poll.sequence;
  const Handover sent =
      SendToBot(request, [sequence](const RequestOutcome& outcome, const std::string& text, LinkChange) {
        PollRecord& in_flight = Poll();
        if (!in_flight.outstanding || in_flight.sequence != sequence) return;
        in_flight.outstanding = false;
        if (outcome.verdict != RequestVerdict::kSuccess) return;
        const ShownAnswer shown = ShowOutboundAnswer(text);
        const NextPoll next = NextPollAfter(shown, LastPollSentMsAgo(), Settings().OutboundWaitSeconds);
        if (next != NextPoll::kAtTheTick) PollAtOnce(next);
      });
  if (sent != Handover::kStarted) return;
  poll.outstanding = true;
  poll.secondsOut = 0;
  NotePollSent();
  poll.pace.Sent(why);
}

// The poll's own one-second timer. The host's timers tick only in whole seconds, and the poll
// timer may tick once a minute: this one counts the seconds a poll is out, opens the pace's next
// second, and sends the poll a completion asked for when the pace held it back. The host's timers
// are the time the plug-in shares with the host (a test host moves them by hand), so the pace and
// the lost poll follow them as every other timer does; only how long a bot held a poll, a matter
// of fractions of a second, is read from the steady clock.
void PaceTick() {
  PollRecord& poll = Poll();
  poll.pace.SecondPassed();
  if (poll.outstanding) {
    ++poll.secondsOut;
    return;
  }
  if (!poll.heldBack || !poll.pace.Allows(*poll.heldBack)) return;
  const NextPoll held = *poll.heldBack;
  poll.heldBack.reset();
  SendPoll(held);
}

void PollAtOnce(NextPoll next) {
  PollRecord& poll = Poll();
  if (poll.pace.Allows(next)) {
    SendPoll(next);
  } else {
    poll.heldBack = next;
  }
}

}  // namespace

void StartOutboundPoll(int poll_seconds) {
  host::RegisterRecurringTimer([] { RunGuarded("outbound poll", [] { PollOutbound(); }); }, poll_seconds);
  host::RegisterRecurringTimer([] { RunGuarded("outbound poll pace", [] { PaceTick(); }); },
                               kPaceTimerSeconds);
}

void ResetOutboundPoll() { Poll() = PollRecord{}; }

void PollOutbound() {
  PollRecord& poll = Poll();
  if (poll.outstanding) {
    // Judged by the seconds since it was sent, not by poll ticks: with a poll interval above the
    // limit, a poll sent just before a tick (at once after a completion) would be lost at that tick
    // while the bot still holds it.
    if (poll.secondsOut <= kOutboundPollLostSeconds) return;
    poll.outstanding = false;  // its answer, should it still come, is ignored
  }
  if (!poll.pace.Allows(NextPoll::kAtTheTick)) return;
  poll.heldBack.reset();
  SendPoll(NextPoll::kAtTheTick);
}

}  // namespace palaverlink
