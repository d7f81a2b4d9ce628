#include "chat/outbound_answer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "chat/answer_walk.h"
#include "chat/bot_clock.h"
#include "chat/broadcast.h"
#include "chat/outbound_batch.h"
#include "chat/outbound_message.h"
#include "chat/outbound_poll_state.h"
#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "game/player.h"

namespace palaverlink {
namespace {

// A bot that errs the same way in every answer gets one warning, not one per poll; an answer
// without the fault ends its run.
template <typename Warn>
void WarnOncePerRun(AnswerFault fault, bool present, Warn&& warn) {
  if (BeginsRun(fault, present)) warn();
}

const char* BrokenTextKinds(const BrokenText& broken) {
  if (broken.loneSurrogates == 0) return "invalid UTF-8";
  if (broken.invalidUtf8 == 0) return "a lone surrogate escape: a character cut in half";
  return "lone surrogate escapes and invalid UTF-8";
}

// What a stamp far ahead most likely is: the same moment in a finer unit, or a wrong value.
const char* FarAheadCause(std::int64_t created_at, std::int64_t now_ms) {
  const auto near_now = [&](std::int64_t divisor) {
    const std::int64_t moment = created_at / divisor;
    return moment > now_ms - kFarthestCreatedAtAheadMs && moment < now_ms + kFarthestCreatedAtAheadMs;
  };
  if (near_now(1000)) return "is the bot sending createdAt in microseconds instead of milliseconds?";
  if (near_now(1000000)) return "is the bot sending createdAt in nanoseconds instead of milliseconds?";
  return "is the bot's clock, or its createdAt, wrong?";
}

}  // namespace

ShownAnswer ShowOutboundAnswer(std::string_view text) {
  const std::int64_t cursor_before = OutboundCursor();
  const std::int64_t now = host::SystemTimeMs();
  const std::size_t shown_limit = ShownPerCompletion(PlayerControllerSlots());
  const WalkedAnswer answer = WalkOutboundAnswer(text, {cursor_before, now, ShownWithoutTime(), shown_limit});

  std::size_t malformed = answer.malformed;
  std::size_t too_long = 0;
  std::size_t broken_messages = 0;
  BrokenText broken;
  std::size_t cleaned = 0;
  std::size_t shown = 0;
  if (!answer.chosen.empty() && Settings().Debug)
    Log().info(messages::kOutboundDelivered, answer.chosen.size());
  for (const ChosenElement& element : answer.chosen) {
    if (element.createdAt) TakeCreatedAt(*element.createdAt);
    if (element.text.size() > kLongestMessageElementBytes) {
      ++too_long;
      continue;
    }
    const std::optional<OutboundMessage> message = ReadOutboundMessage(element.text);
    if (!message) {
      ++malformed;
      continue;
    }
    if (message->broken.Any()) {
      ++broken_messages;
      broken.loneSurrogates += message->broken.loneSurrogates;
      broken.invalidUtf8 += message->broken.invalidUtf8;
    }
    if (message->controlsReplaced > 0) ++cleaned;
    if (Settings().Debug)
      Log().info(messages::kOutboundMessage, message->kind, message->author, message->message);
    BroadcastChatLine(message->senderTag, message->chatLine);
    // The bot sends it again at every poll: it is not before `since`.
    if (!element.createdAt) RememberShownWithoutTime(element.text);
    ++shown;
  }
  CountAnswer(shown, malformed + too_long + answer.dropped, broken_messages);

  if (answer.answeredAt && CursorIsLoadStamp()) {
    // A bot that held the poll answers with the time it was asked, or later.
    const std::int64_t asked_at = now - LastPollSentMsAgo();
    if (const auto on_bot_clock =
            CursorOnBotClock(OutboundCursor(), asked_at, *answer.answeredAt, GreatestCreatedAt())) {
      Log().warn(messages::kBotClockBehind, (asked_at - *answer.answeredAt) / 1000, *answer.answeredAt,
                 asked_at, *on_bot_clock);
      PutCursorOnBotClock(*on_bot_clock);
    }
  }
  std::int64_t ahead_ms = answer.aheadMs;
  if (answer.answeredAt && *answer.answeredAt > now) ahead_ms = std::max(ahead_ms, *answer.answeredAt - now);

  WarnOncePerRun(AnswerFault::kUnparsable, answer.shape == AnswerShape::kUnparsable,
                 [&] { Log().warn(messages::kOutboundUnparsable, AnswerExcerpt(text)); });
  WarnOncePerRun(AnswerFault::kMissingMessages, answer.shape == AnswerShape::kMissingMessages,
                 [&] { Log().warn(messages::kOutboundMissingMessages, AnswerExcerpt(text)); });
  WarnOncePerRun(AnswerFault::kMalformed, malformed > 0,
                 [&] { Log().warn(messages::kOutboundSkipped, malformed, AnswerExcerpt(text)); });
  WarnOncePerRun(AnswerFault::kStale, answer.stale > 0, [&] {
    Log().warn(messages::kOutboundStale, answer.stale, cursor_before, AnswerExcerpt(text));
  });
  WarnOncePerRun(AnswerFault::kTooLong, too_long > 0, [&] {
    Log().warn(messages::kOutboundTooLong, too_long, kLongestMessageElementBytes, AnswerExcerpt(text));
  });
  WarnOncePerRun(AnswerFault::kDropped, answer.dropped > 0, [&] {
    Log().warn(messages::kOutboundDropped, answer.dropped, std::min(kUnorderedPerCompletion, shown_limit),
               kShownPerCompletion, AnswerExcerpt(text));
  });
  WarnOncePerRun(AnswerFault::kBrokenText, broken_messages > 0, [&] {
    Log().warn(messages::kOutboundBrokenText, broken_messages, BrokenTextKinds(broken), AnswerExcerpt(text));
  });
  WarnOncePerRun(AnswerFault::kControls, cleaned > 0,
                 [&] { Log().warn(messages::kOutboundControlsReplaced, cleaned, AnswerExcerpt(text)); });
  WarnOncePerRun(AnswerFault::kWithoutTime, answer.withoutTime > 0, [&] {
    Log().warn(messages::kOutboundWithoutTime, answer.withoutTime, kRememberedMessages, AnswerExcerpt(text));
  });
  WarnOncePerRun(AnswerFault::kFarAhead, answer.farAhead > 0, [&] {
    Log().warn(messages::kOutboundFarAhead, answer.farAhead, answer.farthestAhead, now,
               FarAheadCause(answer.farthestAhead, now), AnswerExcerpt(text));
  });
  WarnOncePerRun(AnswerFault::kClockAhead, ahead_ms > kClockToleranceMs,
                 [&] { Log().warn(messages::kBotClockAhead, ahead_ms / 1000, AnswerExcerpt(text)); });
  return {OutboundCursor() > cursor_before, answer.more};
}

}  // namespace palaverlink
