#include "chat/answer_walk.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

#include "chat/outbound_batch.h"
#include "core/json_scan.h"

namespace palaverlink {
namespace {

std::optional<std::int64_t> WholeMilliseconds(double number) {
  number = std::trunc(number);
  // 2^63 is exactly representable; everything in [-2^63, 2^63) fits.
  constexpr double kLimit = 9223372036854775808.0;
  if (!std::isfinite(number) || number < -kLimit || number >= kLimit) return std::nullopt;
  return static_cast<std::int64_t>(number);
}

// One "messages" array as the walk finds it.
class MessagesWalk {
 public:
  MessagesWalk(std::string_view answer, const WalkStart& start)
      : answer_begin_(answer.data()), start_(start), timed_(kShownPerCompletion) {}

  // Inline for what is not an object, which is only counted; a call for an object.
  void Element(const ScannedElement& element) {
    if (!element.isObject) {
      if (Room()) ++answer_.malformed;
      return;
    }
    // A bot that repeats one element many times over: the rest of the run without a call.
    if (element.member.empty() && SameBytes(element.text, last_repeat_)) {
      ++answer_.repeated;
      return;
    }
    Object(element.text, element.member);
  }

  WalkedAnswer Finish() && {
    const OutboundBatch batch = timed_.Choose(start_.shownLimit);
    // One bound for all a completion shows: the timed ones come first, as they move the cursor and
    // a backlog drains by them; the others have what room they leave.
    const std::size_t room = start_.shownLimit - std::min(batch.now.size(), start_.shownLimit);
    if (taken_.size() > room) {
      answer_.dropped += taken_.size() - room;
      taken_.resize(room);
    }
    for (const TimedElement& element : batch.now)
      taken_.push_back({element.index, {element.text, element.createdAt}});
    std::sort(taken_.begin(), taken_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [index, element] : taken_) answer_.chosen.push_back(element);
    answer_.dropped += batch.dropped;
    answer_.more = batch.more;
    answer_.shape = AnswerShape::kMessages;
    return std::move(answer_);
  }

 private:
  void Object(std::string_view text, std::string_view created_at) {
    // Its place in the answer: where it starts (a count would be one more dependency per element).
    const auto index = static_cast<std::size_t>(text.data() - answer_begin_);
    if (created_at.empty()) {
      if (TakeUnordered(text)) {
        ++answer_.withoutTime;
        taken_.push_back({index, {text, std::nullopt}});
      }
      return;
    }
    const std::optional<std::int64_t> time = ReadCreatedAt(created_at);
    if (!time) {
      if (Room()) ++answer_.malformed;
    } else if (*time <= start_.cursor) {
      ++answer_.stale;
    } else if (*time > start_.nowMs && *time - start_.nowMs > kFarthestCreatedAtAheadMs) {
      if (TakeUnordered(text)) {
        answer_.farthestAhead = answer_.farAhead++ == 0 ? *time : std::max(answer_.farthestAhead, *time);
        taken_.push_back({index, {text, std::nullopt}});
      }
    } else {
      if (*time > start_.nowMs) answer_.aheadMs = std::max(answer_.aheadMs, *time - start_.nowMs);
      timed_.Offer({*time, index, text});
    }
  }

  // A message without a time the cursor can follow (an object with no createdAt or one too far
  // ahead): false when it was shown before, or when it finds no room.
  bool TakeUnordered(std::string_view text) {
    if (start_.shown.Contains(text)) {
      last_repeat_ = text;
      ++answer_.repeated;
      return false;
    }
    return Room();
  }

  // Room for one more element without a time the cursor can follow; beyond the bound it is dropped.
  // Elements that hold no message take room too, but are never shown and so never remembered.
  bool Room() {
    if (unordered_taken_ == kUnorderedPerCompletion) {
      ++answer_.dropped;
      return false;
    }
    ++unordered_taken_;
    return true;
  }

  const char* answer_begin_;
  const WalkStart& start_;
  OutboundBatchChooser timed_;
  std::size_t unordered_taken_ = 0;
  std::string_view last_repeat_;  // the last element found remembered
  // What the completion reads in full, with its place in the answer: the first elements without a
  // time, and at the end the chosen timed ones.
  std::vector<std::pair<std::size_t, ChosenElement>> taken_;
  WalkedAnswer answer_;
};

}  // namespace

std::optional<std::int64_t> ReadCreatedAt(std::string_view value) {
  if (value.front() != '-' && (value.front() < '0' || value.front() > '9')) return std::nullopt;
  // The common case by hand: a whole number of at most 18 digits, which surely fits.
  const bool negative = value.front() == '-';
  const std::size_t digits = value.size() - (negative ? 1 : 0);
  if (digits <= 18) {
    const std::string_view number = value.substr(negative ? 1 : 0);
    // The last eight digits at once, beside the chain of the ones before them.
    const std::size_t head = digits >= 8 ? digits - 8 : digits;
    std::uint64_t whole = 0;
    bool plain = true;
    for (const char c : number.substr(0, head)) {
      const auto digit = static_cast<unsigned char>(c - '0');
      plain = plain && digit <= 9;
      whole = whole * 10 + digit;
    }
    if (digits >= 8) {
      const std::uint64_t last = EightBytesAt(number.data() + head);
      plain = plain && NonDigitBytes(last) == 0;
      whole = whole * 100'000'000 + EightDigitsValue(last);
    }
    const auto signed_whole = static_cast<std::int64_t>(whole);
    if (plain) return negative ? -signed_whole : signed_whole;
  }
  // A fraction, an exponent, or a whole number of more digits: read as a double, as a full parse
  // does beyond 64 bits. A number too small for a double reads as zero (the scan has refused one
  // too large).
  const char* end = value.data() + value.size();
  if (value.find_first_of(".eE") == std::string_view::npos) {
    std::int64_t whole = 0;
    const auto [stop, error] = std::from_chars(value.data(), end, whole);
    if (error == std::errc() && stop == end) return whole;
  }
  double number = 0;
  const auto [stop, error] = std::from_chars(value.data(), end, number);
  if (error == std::errc::result_out_of_range) return 0;
  if (error != std::errc() || stop != end) return std::nullopt;
  return WholeMilliseconds(number);
}

WalkedAnswer WalkOutboundAnswer(std::string_view text, const WalkStart& start) {
  JsonScanner scan(text);
  std::optional<WalkedAnswer> messages;
  std::optional<std::int64_t> answered_at;
  bool scanned = false;
  if (scan.Peek() == '{') {
    scanned = scan.Object([&](std::string_view key) {
      if (key == "answeredAt") {
        const char* value = scan.Position();
        if (!scan.SkipValue()) return false;
        answered_at =
            ReadCreatedAt(std::string_view(value, static_cast<std::size_t>(scan.Position() - value)));
        return true;
      }
      if (key != "messages") return scan.SkipValue();
      messages.reset();
      if (scan.Peek() != '[') return scan.SkipValue();
      MessagesWalk walk(text, start);
      if (!scan.Elements("createdAt", [&](const ScannedElement& element) { walk.Element(element); }))
        return false;
      messages = std::move(walk).Finish();
      return true;
    });
  } else {
    scanned = scan.SkipValue();
  }
  if (!scanned || !scan.AtEnd()) return {};
  if (!messages) {
    WalkedAnswer missing;
    missing.shape = AnswerShape::kMissingMessages;
    return missing;
  }
  messages->answeredAt = answered_at;
  return std::move(*messages);
}

}  // namespace palaverlink
