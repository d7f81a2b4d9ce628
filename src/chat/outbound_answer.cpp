#include "chat/outbound_answer.h"

#include <cstddef>
#include <cstdint>
#include <optional>

#include "chat/answer_walk.h"
#include "chat/broadcast.h"
#include "chat/outbound_batch.h"
#include "chat/outbound_message.h"
#include "chat/outbound_poll_state.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"

namespace palaverlink {
namespace {

// A bot that errs the same way in every answer gets one warning, not one per poll; an answer
// without the fault ends its run.
template <typename Warn>
void WarnOncePerRun(bool& in_run, bool fault, Warn&& warn) {
  if (fault && !in_run) warn();
  in_run = fault;
}

}  // namespace

ShownAnswer ShowOutboundAnswer(std::string_view text) {
  std::int64_t& cursor = OutboundCursor();
  const std::int64_t cursor_before = cursor;
  const WalkedAnswer answer = WalkOutboundAnswer(text, cursor_before);

  std::size_t malformed = answer.malformed;
  std::size_t too_long = 0;
  if (!answer.chosen.empty() && Settings().Debug)
    Log().info(messages::kOutboundDelivered, answer.chosen.size());
  for (const ChosenElement& element : answer.chosen) {
    if (element.createdAt && *element.createdAt > cursor) cursor = *element.createdAt;
    if (element.text.size() > kLongestMessageElementBytes) {
      ++too_long;
      continue;
    }
    const std::optional<OutboundMessage> message = ReadOutboundMessage(element.text);
    if (!message) {
      ++malformed;
      continue;
    }
    if (Settings().Debug)
      Log().info(messages::kOutboundMessage, message->kind, message->author, message->message);
    BroadcastChatLine(message->senderTag, message->chatLine);
  }

  AnswerWarningRuns& runs = OutboundPollState().warnings;
  WarnOncePerRun(runs.unparsable, answer.shape == AnswerShape::kUnparsable,
                 [&] { Log().warn(messages::kOutboundUnparsable, AnswerExcerpt(text)); });
  WarnOncePerRun(runs.missingMessages, answer.shape == AnswerShape::kMissingMessages,
                 [&] { Log().warn(messages::kOutboundMissingMessages, AnswerExcerpt(text)); });
  WarnOncePerRun(runs.malformed, malformed > 0,
                 [&] { Log().warn(messages::kOutboundSkipped, malformed, AnswerExcerpt(text)); });
  WarnOncePerRun(runs.stale, answer.stale > 0, [&] {
    Log().warn(messages::kOutboundStale, answer.stale, cursor_before, AnswerExcerpt(text));
  });
  WarnOncePerRun(runs.tooLong, too_long > 0, [&] {
    Log().warn(messages::kOutboundTooLong, too_long, kLongestMessageElementBytes, AnswerExcerpt(text));
  });
  WarnOncePerRun(runs.dropped, answer.dropped > 0, [&] {
    Log().warn(messages::kOutboundDropped, answer.dropped, kUnorderedPerCompletion, kShownPerCompletion,
               AnswerExcerpt(text));
  });
  return {cursor > cursor_before, answer.more};
}

}  // namespace palaverlink
