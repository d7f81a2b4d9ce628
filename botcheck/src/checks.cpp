#include "botcheck/checks.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "botcheck/answer_checks.h"
#include "botcheck/http_client.h"
#include "botcheck/plugin_requests.h"
#include "check_names.h"
#include "consequences.h"
#include "link/request_outcome.h"

namespace botcheck {
namespace {

using palaverlink::Delivery;
using palaverlink::ReadOutcome;
using palaverlink::RequestVerdict;
using namespace check_names;
using namespace consequences;

static_assert(kLongPollWaitSeconds == 2 && kWakeUpLimitMs == 20 && kPollIntervalMs == 3000,
              "the check names state these numbers");

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Answered(const HttpAnswer& answer) {
  if (!answer.reached) return "no answer: " + Printable(answer.error);
  return "answered HTTP " + std::to_string(answer.status) + " (" + Printable(answer.body) + ")";
}

// 16 lower-case hex digits, drawn once a run: the first part of every Idempotency-Key, as the
// plug-in draws one at load.
std::string RunId() {
  std::random_device random;
  std::uint64_t bits = (static_cast<std::uint64_t>(random()) << 32) ^ random();
  constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (int digit = 0; digit < 16; ++digit, bits >>= 4) id.push_back(kHex[bits & 0x0F]);
  return id;
}

std::string Milliseconds(std::chrono::steady_clock::duration duration) {
  const auto tenths = std::chrono::duration_cast<std::chrono::microseconds>(duration).count() / 100;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
}

class Checker {
 public:
  Checker(const Options& options, Report& report)
      : options_(options), report_(report), neighbour_(options.map_id + "-neighbour"), run_id_(RunId()) {}

  void Run() {
    const HttpAnswer health = Get(client_, "/health", {});
    if (NothingAnswers(health)) {
      report_.Stop("nothing answers at " + options_.url + " (" + Printable(health.error) +
                   "): start the bot, or give the address and port it listens on (BridgeUrl)");
      return;
    }
    ExpectHealthy(kHealth, health);
    if (options_.api_key.empty()) {
      const HttpAnswer probe = Get(client_, OutboundPath(options_.map_id, NowMs()), {});
      if (probe.reached && probe.status == 401) {
        report_.Stop(
            "the bot refused a request without a key (HTTP 401): run again with --api-key KEY, "
            "the key the bot expects (ApiKey in the plug-in's config.json)");
        return;
      }
    } else {
      ExpectHealthy(kHealthWithKey, Get(client_, "/health", AuthHeaders(options_.api_key)));
      CheckKeyIsDemanded();
    }
    const std::int64_t started = NowMs();
    ReadPoll(kFirstPoll, options_.map_id, started);
    CheckPosts(started);
    const std::optional<OutboundReading> ours = ReadPoll(kPolls, options_.map_id, 0);
    const std::optional<OutboundReading> theirs = ReadPoll(kPolls, neighbour_, 0);
    CheckMessages(ours);
    CheckEcho(ours, theirs);
    CheckClock(ours);
    CheckRepeat(ours);
    CheckLongPoll(ours);
    CheckSpeed();
  }

 private:
  // Could not connect at all: no check can be made.
  static bool NothingAnswers(const HttpAnswer& answer) {
    const auto outcome = ReadOutcome(answer.AsHostReply());
    return outcome.verdict == RequestVerdict::kLinkLost && outcome.delivery == Delivery::kNotTaken &&
           outcome.status == 0;
  }

  // `held`: a long poll, which may take as long as it asked for and so is left out of the speed check.
  HttpAnswer Get(HttpClient& client, const std::string& path, std::vector<std::string> headers,
                 bool held = false) {
    HttpAnswer answer = client.Send({"GET", options_.url + path, std::move(headers), {}, Timeout()});
    return held ? answer : Track(answer);
  }

  // Every post carries a key of its own, as the plug-in sends it; `key` repeats an earlier one.
  HttpAnswer Post(const std::string& path, const nlohmann::json& body, std::vector<std::string> headers,
                  std::string* key = nullptr) {
    std::string fresh = run_id_ + "-" + std::to_string(++posts_);
    if (key != nullptr && key->empty()) *key = fresh;
    headers.push_back("Content-Type: application/json");
    headers.push_back("Idempotency-Key: \"" + (key != nullptr ? *key : fresh) + "\"");
    return Track(client_.Send({"POST", options_.url + path, std::move(headers), WireText(body), Timeout()}));
  }

  std::chrono::seconds Timeout() const { return std::chrono::seconds(options_.timeout_seconds); }

  HttpAnswer Track(HttpAnswer answer) {
    if (answer.reached && answer.elapsed > slowest_.elapsed) slowest_ = answer;
    return answer;
  }

  // A request of an /api path that must succeed; `lost` says what a refusal of it would lose.
  bool ExpectSuccess(const std::string& check, const HttpAnswer& answer, const char* lost) {
    if (answer.too_large) {
      const std::string size =
          answer.announced > 0 ? std::to_string(answer.announced) + " bytes" : "no length";
      report_.Fail(check, "the answer is larger than the 16 MiB botcheck reads (" + size + " announced)",
                   kTooLarge);
      return false;
    }
    switch (ReadOutcome(answer.AsHostReply()).verdict) {
      case RequestVerdict::kSuccess:
        report_.Ok(check);
        return true;
      case RequestVerdict::kRefused:
        report_.Fail(check, Answered(answer), std::string(kRefusedPrefix) + lost);
        break;
      case RequestVerdict::kKeyRejected:
        report_.Fail(check, Answered(answer), kKeyRejected);
        break;
      case RequestVerdict::kLinkLost:
        report_.Fail(check, Answered(answer), kLinkDown);
        break;
    }
    return false;
  }

  // Any failed health probe is the same to the plug-in, a 401 or a refusal included.
  void ExpectHealthy(const std::string& check, const HttpAnswer& answer) {
    if (answer.Succeeded()) {
      report_.Ok(check);
    } else {
      report_.Fail(check, Answered(answer), kHealthFails);
    }
  }

  void ExpectRefusal(const std::string& check, const HttpAnswer& answer) {
    const RequestVerdict result = ReadOutcome(answer.AsHostReply()).verdict;
    if (result == RequestVerdict::kKeyRejected) {
      report_.Ok(check);
    } else if (result == RequestVerdict::kSuccess) {
      report_.Fail(check, "accepted it: " + Answered(answer), kOpenDoor);
    } else if (result == RequestVerdict::kRefused) {
      report_.Fail(check, Answered(answer) + ", not 401", kRefusedNot401);
    } else {
      report_.Fail(check, Answered(answer) + (answer.reached ? ", not 401" : ""), kLostNot401);
    }
  }

  void CheckKeyIsDemanded() {
    ExpectRefusal(kPostWithoutKey,
                  Post("/api/chat/inbound", ChatInboundBody(Line(options_.map_id, "no key")), {}));
    ExpectRefusal(kPollWrongKey, Get(client_, OutboundPath(options_.map_id, NowMs()),
                                     AuthHeaders(options_.api_key + "-wrong")));
  }

  // The run's lines carry its id, so that this run's lines are told from those of earlier runs.
  ChatLineBody Line(const std::string& map_id, const std::string& text) const {
    return {map_id,  "76561198000000001", "Ann Lee", "", "palaverlink-botcheck " + run_id_ + ": " + text,
            "global"};
  }

  void PostLine(const char* check, const ChatLineBody& line, std::vector<std::string>* said) {
    ExpectSuccess(check, Post("/api/chat/inbound", ChatInboundBody(line), AuthHeaders(options_.api_key)),
                  kLineLost);
    said->push_back(line.message);
  }

  void CheckPosts(std::int64_t started) {
    const auto key = AuthHeaders(options_.api_key);
    PostLine(kGlobalLine, Line(options_.map_id, "Grüße, ça va? ✓"), &said_here_);
    // Servers that switch tribe and alliance chat on send these channels too.
    for (const char* channel : {"tribe", "alliance"}) {
      ChatLineBody line = Line(options_.map_id, std::string(channel) + " line");
      line.channel = channel;
      line.tribeName = "Wolves";
      PostLine(channel == std::string("tribe") ? kTribeLine : kAllianceLine, line, &said_here_);
    }
    // Lines from a second map give a bot that relays between maps something to show on ours; the
    // second is sent again with its key, as the plug-in resends a post whose answer was lost.
    relayed_sent_at_ = NowMs();
    PostLine(kNeighbourLine, Line(neighbour_, "hello"), &said_there_);
    relayed_answered_at_ = NowMs();
    const ChatLineBody repeated = Line(neighbour_, "hello again");
    std::string repeat_key;
    const HttpAnswer first = Post("/api/chat/inbound", ChatInboundBody(repeated), key, &repeat_key);
    ExpectSuccess(kNeighbourLine, first, kLineLost);
    said_there_.push_back(repeated.message);
    repeated_ = repeated.message;
    const HttpAnswer again = Post("/api/chat/inbound", ChatInboundBody(repeated), key, &repeat_key);
    if (!again.Succeeded()) ExpectSuccess(kRepeat, again, kRepeatNot2xx);

    const std::vector<SessionPlayerBody> players = {
        {"76561198000000001", "Ann Lee", started, "ann_steam", "Wolves"},
        // The largest platform id, and a player without a player state (empty account and tribe).
        {"18446744073709551615", "Ben", started, "", ""},
    };
    ExpectSuccess(kSyncTwo, Post("/api/sessions/sync", SessionSyncBody(options_.map_id, players), key),
                  kListLost);
    ExpectSuccess(kSyncNone, Post("/api/sessions/sync", SessionSyncBody(options_.map_id, {}), key),
                  kListLost);
    ExpectSuccess(kLeave,
                  Post("/api/sessions/leave", SessionLeaveBody(options_.map_id, "18446744073709551615"), key),
                  kLeaveLost);
  }

  // One answer to a poll with `since`, judged line by line; its reading when it is readable.
  std::optional<OutboundReading> JudgePoll(const char* check, const HttpAnswer& answer, std::int64_t since) {
    if (!ExpectSuccess(check, answer, kPollLost)) return std::nullopt;
    if (MediaType(answer.contentType) == "application/json") {
      report_.Ok(kJsonType);
    } else {
      report_.Fail(kJsonType, "Content-Type is '" + Printable(answer.contentType) + "'", kNotJsonType);
    }
    OutboundReading reading = ReadOutbound(answer.body);
    if (reading.shape == OutboundShape::kUnparsable) {
      report_.Fail(kShape, "not JSON: " + Printable(answer.body), kUnparsable);
      return std::nullopt;
    }
    if (reading.shape == OutboundShape::kMissingMessages) {
      report_.Fail(kShape, "no \"messages\" array: " + Printable(answer.body), kMissingMessages);
      return std::nullopt;
    }
    report_.Ok(kShape);
    if (!reading.problems.empty()) {
      report_.Fail(kElements, Printable(reading.problems.front()), kBadElement);
    } else if (reading.count > 0) {
      report_.Ok(kElements);
    }
    if (since > 0) {
      if (auto problem = SinceProblem(since, reading.createdAt))
        report_.Fail(kSince, *problem, kSinceIgnored);
    }
    return reading;
  }

  std::optional<OutboundReading> ReadPoll(const char* check, const std::string& map_id, std::int64_t since) {
    return JudgePoll(check, Get(client_, OutboundPath(map_id, since), AuthHeaders(options_.api_key)), since);
  }

  std::string NoMessages() const {
    return "the bot had no messages for " + options_.map_id +
           " (a bot that relays between maps gets them from the second map's lines; otherwise queue two "
           "messages for the map before the run)";
  }

  void CheckMessages(const std::optional<OutboundReading>& ours) {
    if (!ours || ours->createdAt.empty()) {
      const std::string why =
          ours ? NoMessages() : "the poll for everything (since=0) had no readable answer";
      for (const char* check : {kElements, kUnit, kUnique, kSince}) report_.NotChecked(check, why);
      return;
    }
    const std::vector<std::int64_t>& created = ours->createdAt;
    if (auto problem = CreatedAtUnitProblem(created, NowMs())) {
      report_.Fail(kUnit, *problem, kWrongUnit);
    } else {
      report_.Ok(kUnit);
    }
    if (auto problem = DuplicateCreatedAtProblem(created)) {
      report_.Fail(kUnique, *problem, kTwinTimes);
    } else if (created.size() < 2) {
      report_.NotChecked(kUnique, "only one message for " + options_.map_id + " to compare");
    } else {
      report_.Ok(kUnique);
    }
    const auto [oldest, newest] = std::minmax_element(created.begin(), created.end());
    newest_ = *newest;
    for (const std::int64_t since : {*newest, *oldest}) {
      const auto reading = ReadPoll(kPolls, options_.map_id, since);
      if (reading && !SinceProblem(since, reading->createdAt)) report_.Ok(kSince);
      if (*oldest == *newest) break;
    }
  }

  void CheckEcho(const std::optional<OutboundReading>& ours, const std::optional<OutboundReading>& theirs) {
    if (!ours || !theirs) {
      report_.NotChecked(kEcho, "a poll for everything (since=0) had no readable answer");
      return;
    }
    for (const auto& [said, reading, map_id] : {std::tuple(&said_here_, &*ours, &options_.map_id),
                                                std::tuple(&said_there_, &*theirs, &neighbour_)}) {
      for (const std::string& line : *said) {
        if (CountHolding(reading->texts, line) > 0) {
          report_.Fail(kEcho,
                       "the line '" + Printable(line) + "' said on " + *map_id + " came back in its poll",
                       kEchoed);
          return;
        }
      }
    }
    report_.Ok(kEcho);
  }

  // The second map's first line, relayed to ours, stamped by the bot's clock when it took it in.
  void CheckClock(const std::optional<OutboundReading>& ours) {
    if (!ours) {
      report_.NotChecked(kClock, "the poll for everything (since=0) had no readable answer");
      return;
    }
    const std::string& relayed = said_there_.front();
    for (const auto& [text, created_at] : ours->stampedTexts) {
      if (text.find(relayed) == std::string::npos) continue;
      if (CreatedAtUnitProblem({created_at}, NowMs())) {
        report_.NotChecked(kClock, "its createdAt is not in milliseconds since 1970 (see that check)");
        return;
      }
      if (auto problem = ClockSkewProblem(relayed_sent_at_, relayed_answered_at_, created_at)) {
        report_.Fail(kClock, *problem, kClockSkew);
      } else {
        report_.Ok(kClock);
      }
      return;
    }
    report_.NotChecked(kClock, "the line said on the second map did not come to " + options_.map_id +
                                   " with a createdAt (a bot that relays between maps shows it)");
  }

  void CheckRepeat(const std::optional<OutboundReading>& ours) {
    if (!ours) {
      report_.NotChecked(kRepeat, "the poll for everything (since=0) had no readable answer");
      return;
    }
    const std::size_t seen = CountHolding(ours->texts, repeated_);
    if (seen == 0) {
      report_.NotChecked(kRepeat,
                         "the line sent twice on the second map did not reach " + options_.map_id +
                             ", so a repeat cannot be seen (a bot that relays between maps shows it)");
    } else if (seen == 1) {
      report_.Ok(kRepeat);
    } else {
      report_.Warn(kRepeat,
                   "the line sent twice with one key reached " + options_.map_id + " " +
                       std::to_string(seen) + " times",
                   kStoredTwice);
    }
  }

  HttpAnswer HeldPoll(HttpClient& client, std::int64_t since) {
    return Get(client, OutboundPath(options_.map_id, since, kLongPollWaitSeconds),
               AuthHeaders(options_.api_key),
               /*held=*/true);
  }

  // The plug-in's long poll (OutboundWaitSeconds): a bot may ignore waitSeconds and answer at once,
  // but one that holds the poll must answer once the wait is over, and at once when a message comes.
  void CheckLongPoll(const std::optional<OutboundReading>& ours) {
    const std::int64_t since = std::max(NowMs(), newest_);
    const HttpAnswer answer = HeldPoll(client_, since);
    const auto took = answer.elapsed.count();
    const std::optional<OutboundReading> reading = JudgePoll(kPolls, answer, since);
    const char* no_wake_up = "the poll was not held, so there is no wake-up to time";
    if (took > kLongPollWaitSeconds * 1000 + kLongPollSlackMs) {
      report_.Fail(kHeld,
                   (answer.reached ? "the answer took " : "no answer after ") + std::to_string(took) + " ms",
                   kHeldTooLong);
      report_.NotChecked(kWakeUp, no_wake_up);
    } else if (!reading) {
      report_.NotChecked(kHeld, "the long poll had no readable answer: " + Answered(answer));
      report_.NotChecked(kWakeUp, no_wake_up);
    } else if (reading->count > 0) {
      report_.NotChecked(kHeld, "the answer held messages, so there was nothing to hold it for");
      report_.NotChecked(kWakeUp, no_wake_up);
    } else if (took < kLongPollWaitSeconds * 1000 / 2) {
      report_.Warn(kHeld,
                   "not honoured: the empty answer came at once, after " + std::to_string(took) + " ms",
                   kNotHonoured);
      report_.NotChecked(kWakeUp, "the bot does not hold polls (waitSeconds not honoured)");
    } else {
      report_.Ok(kHeld, "held " + std::to_string(took) + " ms");
      CheckWakeUp(ours);
    }
  }

  // A held poll on a connection of its own (warmed by one ordinary poll, as the plug-in's client keeps
  // its connection), a line said on the second map while it is held, and the time from sending that
  // line to the end of the poll's answer; the median of a few rounds, so that a busy machine does not
  // decide it.
  void CheckWakeUp(const std::optional<OutboundReading>& ours) {
    if (!ours || CountHolding(ours->texts, said_there_.front()) == 0) {
      report_.NotChecked(kWakeUp, "lines of the second map do not reach " + options_.map_id +
                                      ", so nothing can wake its held poll");
      return;
    }
    std::vector<std::chrono::steady_clock::duration> rounds;
    for (int round = 0; round < kWakeUpRounds; ++round) {
      HttpClient poller;
      const std::int64_t since = std::max(NowMs(), newest_);
      Get(poller, OutboundPath(options_.map_id, since), AuthHeaders(options_.api_key), /*held=*/true);
      HttpAnswer held;
      std::thread holder([&] { held = HeldPoll(poller, since); });
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const auto said_at = std::chrono::steady_clock::now();
      const ChatLineBody line = Line(neighbour_, "wake up " + std::to_string(round + 1));
      const HttpAnswer post = Post("/api/chat/inbound", ChatInboundBody(line), AuthHeaders(options_.api_key));
      holder.join();
      ExpectSuccess(kNeighbourLine, post, kLineLost);
      const std::optional<OutboundReading> reading = JudgePoll(kPolls, held, since);
      if (!reading || reading->count == 0) {
        report_.NotChecked(kWakeUp, "round " + std::to_string(round + 1) + ": the held poll " +
                                        (reading ? "ran out without the line" : "had no readable answer"));
        return;
      }
      for (const std::int64_t time : reading->createdAt) newest_ = std::max(newest_, time);
      rounds.push_back(held.finished - said_at);
    }
    std::vector<std::chrono::steady_clock::duration> sorted = rounds;
    std::sort(sorted.begin(), sorted.end());
    const auto median = sorted[sorted.size() / 2];
    std::string measured = "median " + Milliseconds(median) + " of";
    for (const auto& each : rounds) measured += " " + Milliseconds(each);
    measured += ", from sending the line to the end of the held poll's answer";
    if (median <= std::chrono::milliseconds(kWakeUpLimitMs)) {
      report_.Ok(kWakeUp, measured);
    } else {
      report_.Fail(kWakeUp, measured, kSlowWakeUp);
    }
  }

  void CheckSpeed() {
    if (slowest_.elapsed.count() <= kPollIntervalMs) {
      report_.Ok(kSpeed);
    } else {
      report_.Fail(kSpeed, "the slowest took " + std::to_string(slowest_.elapsed.count()) + " ms", kSlow);
    }
  }

  const Options& options_;
  Report& report_;
  const std::string neighbour_;
  const std::string run_id_;
  HttpClient client_;
  int posts_ = 0;
  std::vector<std::string> said_here_;    // the run's lines said on the map
  std::vector<std::string> said_there_;   // and on the second map
  std::string repeated_;                  // the line sent twice with one key
  std::int64_t newest_ = 0;               // the greatest createdAt seen for the map
  std::int64_t relayed_sent_at_ = 0;      // by this clock, just before the second map's first line
  std::int64_t relayed_answered_at_ = 0;  // and just after its answer
  HttpAnswer slowest_;
};

}  // namespace

std::vector<std::string> CheckNames(const Options& options) {
  std::vector<std::string> names = {kHealth};
  if (!options.api_key.empty()) names.insert(names.end(), {kHealthWithKey, kPostWithoutKey, kPollWrongKey});
  names.insert(names.end(),
               {kFirstPoll, kGlobalLine, kTribeLine, kAllianceLine, kNeighbourLine, kSyncTwo, kSyncNone,
                kLeave,     kPolls,      kJsonType,  kShape,        kElements,      kUnit,    kUnique,
                kSince,     kEcho,       kRepeat,    kHeld,         kWakeUp,        kSpeed,   kClock});
  return names;
}

std::string ChecksText() {
  Options without_key;
  Options with_key;
  with_key.api_key = "key";
  const std::vector<std::string> always = CheckNames(without_key);
  std::string text = "The checks, in the order printed ((key): only with --api-key):\n";
  for (const std::string& name : CheckNames(with_key)) {
    const bool keyed = std::find(always.begin(), always.end(), name) == always.end();
    text += (keyed ? "  (key) " : "  - ") + name + "\n";
  }
  return text;
}

ExitCode RunChecks(const Options& options, std::ostream& out) {
  Report report(CheckNames(options));
  Checker(options, report).Run();
  report.Print(out);
  return report.Exit();
}

}  // namespace botcheck
