#include "botcheck/checks.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "bot_client.h"
#include "botcheck/answer_checks.h"
#include "botcheck/plugin_requests.h"
#include "check_names.h"
#include "consequences.h"
#include "verdicts.h"

namespace botcheck {
namespace {

using palaverlink::endpoints::kChatInbound;
using palaverlink::endpoints::kSessionsLeave;
using palaverlink::endpoints::kSessionsSync;
using namespace check_names;
using namespace consequences;

static_assert(kLongPollWaitSeconds == 2 && kWakeUpLimitMs == 20 && kPollIntervalMs == 3000,
              "the check names state these numbers");

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
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

// What the posts left for the checks of the polls.
struct Said {
  std::vector<std::string> here;       // the run's lines said on the map
  std::vector<std::string> there;      // and on the second map; the first one is the relayed line
  std::string repeated;                // the line sent twice with one key
  std::int64_t relayedSentAt = 0;      // by this clock, just before the relayed line
  std::int64_t relayedAnsweredAt = 0;  // and just after its answer
};

class Checker {
 public:
  Checker(const Options& options, Report& report)
      : options_(options),
        report_(report),
        neighbour_(options.map_id + "-neighbour"),
        run_id_(RunId()),
        bot_(options, run_id_) {}

  void Run() {
    try {
      RunChecks();
    } catch (const KeyRefused& refused) {
      report_.Stop(
          "the bot refused the key given with --api-key ('" + Printable(options_.api_key) + "'): HTTP " +
          std::to_string(refused.status) + " to " + refused.request +
          ". Check that it is the key the bot expects (ApiKey in the plug-in's config.json, the same "
          "text on both sides) and that the bot lets requests from this machine in");
    }
  }

 private:
  void RunChecks() {
    const HttpAnswer health = bot_.Health();
    if (NothingAnswers(health)) {
      report_.Stop("nothing answers at " + options_.url + " (" + Printable(health.error) +
                   "): start the bot, or give the address and port it listens on (BridgeUrl)");
      return;
    }
    ExpectHealthy(report_, kHealth, health);
    if (options_.api_key.empty()) {
      const HttpAnswer probe = bot_.PollWithoutKey(options_.map_id, NowMs());
      if (probe.reached && probe.status == 401) {
        report_.Stop(
            "the bot refused a request without a key (HTTP 401): run again with --api-key KEY, "
            "the key the bot expects (ApiKey in the plug-in's config.json)");
        return;
      }
    } else {
      ExpectHealthy(report_, kHealthWithKey, bot_.HealthWithKey());
      CheckKeyIsDemanded();
    }
    const std::int64_t started = NowMs();
    ReadPoll(kFirstPoll, options_.map_id, started);
    const Said said = CheckPosts(started);
    const std::optional<OutboundReading> ours = ReadPoll(kPolls, options_.map_id, 0);
    const std::optional<OutboundReading> theirs = ReadPoll(kPolls, neighbour_, 0);
    const std::int64_t newest = CheckMessages(ours);
    CheckEcho(ours, theirs, said);
    CheckClock(ours, said);
    CheckRepeat(ours, said.repeated);
    CheckLongPoll(ours, newest, said.there.front());
    CheckSpeed();
  }

  void CheckKeyIsDemanded() {
    ExpectRefusal(report_, kPostWithoutKey,
                  bot_.PostWithoutKey(kChatInbound, ChatInboundBody(Line(options_.map_id, "no key"))));
    ExpectRefusal(report_, kPollWrongKey, bot_.PollWithWrongKey(options_.map_id, NowMs()));
  }

  // The run's lines carry its id, so that this run's lines are told from those of earlier runs.
  ChatLineBody Line(const std::string& map_id, const std::string& text) const {
    return {map_id,  "76561198000000001", "Ann Lee", "", "palaverlink-botcheck " + run_id_ + ": " + text,
            "global"};
  }

  void PostLine(const char* check, const ChatLineBody& line, std::vector<std::string>& said) {
    ExpectSuccess(report_, check, bot_.Post(kChatInbound, ChatInboundBody(line)).answer, kLineLost);
    said.push_back(line.message);
  }

  Said CheckPosts(std::int64_t started) {
    Said said;
    PostLine(kGlobalLine, Line(options_.map_id, "Grüße, ça va? ✓"), said.here);
    // Servers that switch tribe and alliance chat on send these channels too.
    for (const char* channel : {"tribe", "alliance"}) {
      ChatLineBody line = Line(options_.map_id, std::string(channel) + " line");
      line.channel = channel;
      line.tribeName = "Wolves";
      PostLine(channel == std::string("tribe") ? kTribeLine : kAllianceLine, line, said.here);
    }
    // Lines from a second map give a bot that relays between maps something to show on ours; the
    // second is sent again with its key, as the plug-in resends a post whose answer was lost.
    said.relayedSentAt = NowMs();
    PostLine(kNeighbourLine, Line(neighbour_, "hello"), said.there);
    said.relayedAnsweredAt = NowMs();
    const ChatLineBody repeated = Line(neighbour_, "hello again");
    const Posted first = bot_.Post(kChatInbound, ChatInboundBody(repeated));
    ExpectSuccess(report_, kNeighbourLine, first.answer, kLineLost);
    said.there.push_back(repeated.message);
    said.repeated = repeated.message;
    const HttpAnswer again = bot_.PostAgain(first);
    if (!again.Succeeded()) ExpectSuccess(report_, kRepeat, again, kRepeatNot2xx);

    const std::vector<SessionPlayerBody> players = {
        {"76561198000000001", "Ann Lee", started, "ann_steam", "Wolves"},
        // The largest platform id, and a player without a player state (empty account and tribe).
        {"18446744073709551615", "Ben", started, "", ""},
    };
    ExpectSuccess(report_, kSyncTwo,
                  bot_.Post(kSessionsSync, SessionSyncBody(options_.map_id, players)).answer, kListLost);
    ExpectSuccess(report_, kSyncNone, bot_.Post(kSessionsSync, SessionSyncBody(options_.map_id, {})).answer,
                  kListLost);
    ExpectSuccess(report_, kLeave,
                  bot_.Post(kSessionsLeave, SessionLeaveBody(options_.map_id, "18446744073709551615")).answer,
                  kLeaveLost);
    return said;
  }

  std::optional<OutboundReading> ReadPoll(const char* check, const std::string& map_id, std::int64_t since) {
    return JudgePoll(report_, check, bot_.Poll(map_id, since), since);
  }

  // Why the checks of createdAt could not be made on the answer to the poll for everything.
  std::string NoTimes(const std::optional<OutboundReading>& ours) const {
    if (!ours) return "the poll for everything (since=0) had no readable answer";
    if (ours->count > 0) {
      return "none of the " + std::to_string(ours->count) + " messages for " + options_.map_id +
             " had a createdAt that is a whole number (see the check of every message)";
    }
    return "the bot had no messages for " + options_.map_id +
           " (a bot that relays between maps gets them from the second map's lines; otherwise queue two "
           "messages for the map before the run)";
  }

  // The greatest createdAt seen for the map, 0 when none.
  std::int64_t CheckMessages(const std::optional<OutboundReading>& ours) {
    if (!ours || ours->createdAt.empty()) {
      for (const char* check : {kElements, kUnit, kUnique, kSince}) report_.NotChecked(check, NoTimes(ours));
      return 0;
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
    for (const std::int64_t since : {*newest, *oldest}) {
      const auto reading = ReadPoll(kPolls, options_.map_id, since);
      if (reading && !SinceProblem(since, reading->createdAt)) report_.Ok(kSince);
      if (*oldest == *newest) break;
    }
    return *newest;
  }

  void CheckEcho(const std::optional<OutboundReading>& ours, const std::optional<OutboundReading>& theirs,
                 const Said& said) {
    if (!ours || !theirs) {
      report_.NotChecked(kEcho, "a poll for everything (since=0) had no readable answer");
      return;
    }
    for (const auto& [lines, reading, map_id] :
         {std::tuple(&said.here, &*ours, &options_.map_id), std::tuple(&said.there, &*theirs, &neighbour_)}) {
      for (const std::string& line : *lines) {
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
  void CheckClock(const std::optional<OutboundReading>& ours, const Said& said) {
    if (!ours) {
      report_.NotChecked(kClock, "the poll for everything (since=0) had no readable answer");
      return;
    }
    const std::string& relayed = said.there.front();
    for (const auto& [text, created_at] : ours->stampedTexts) {
      if (text.find(relayed) == std::string::npos) continue;
      if (CreatedAtUnitProblem({created_at}, NowMs())) {
        report_.NotChecked(kClock, "its createdAt is not in milliseconds since 1970 (see that check)");
        return;
      }
      if (auto problem = ClockSkewProblem(said.relayedSentAt, said.relayedAnsweredAt, created_at)) {
        report_.Fail(kClock, *problem, kClockSkew);
      } else {
        report_.Ok(kClock);
      }
      return;
    }
    report_.NotChecked(kClock, "the line said on the second map did not come to " + options_.map_id +
                                   " with a createdAt (a bot that relays between maps shows it)");
  }

  void CheckRepeat(const std::optional<OutboundReading>& ours, const std::string& repeated) {
    if (!ours) {
      report_.NotChecked(kRepeat, "the poll for everything (since=0) had no readable answer");
      return;
    }
    const std::size_t seen = CountHolding(ours->texts, repeated);
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

  // The plug-in's long poll (OutboundWaitSeconds): a bot may ignore waitSeconds and answer at once,
  // but one that holds the poll must answer once the wait is over, and at once when a message comes.
  void CheckLongPoll(const std::optional<OutboundReading>& ours, std::int64_t newest,
                     const std::string& relayed) {
    const std::int64_t since = std::max(NowMs(), newest);
    const HttpAnswer answer = bot_.HeldPoll(since);
    const auto took = answer.elapsed.count();
    const std::optional<OutboundReading> reading = JudgePoll(report_, kPolls, answer, since);
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
      CheckWakeUp(ours, newest, relayed);
    }
  }

  // A held poll on a connection of its own (warmed by one ordinary poll, as the plug-in's client keeps
  // its connection), a line said on the second map while it is held, and the time from sending that
  // line to the end of the poll's answer; the median of a few rounds, so that a busy machine does not
  // decide it.
  void CheckWakeUp(const std::optional<OutboundReading>& ours, std::int64_t newest,
                   const std::string& relayed) {
    if (!ours || CountHolding(ours->texts, relayed) == 0) {
      report_.NotChecked(kWakeUp, "lines of the second map do not reach " + options_.map_id +
                                      ", so nothing can wake its held poll");
      return;
    }
    std::vector<std::chrono::steady_clock::duration> rounds;
    for (int round = 0; round < kWakeUpRounds; ++round) {
      HttpClient poller;
      const std::int64_t since = std::max(NowMs(), newest);
      bot_.WarmUpOn(poller, since);
      // The future hands a refused key over from the poll's thread.
      std::future<HttpAnswer> holding =
          std::async(std::launch::async, [&] { return bot_.HeldPollOn(poller, since); });
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      const auto said_at = std::chrono::steady_clock::now();
      const ChatLineBody line = Line(neighbour_, "wake up " + std::to_string(round + 1));
      const HttpAnswer post = bot_.Post(kChatInbound, ChatInboundBody(line)).answer;
      const HttpAnswer held = holding.get();
      ExpectSuccess(report_, kNeighbourLine, post, kLineLost);
      const std::optional<OutboundReading> reading = JudgePoll(report_, kPolls, held, since);
      if (!reading || reading->count == 0) {
        report_.NotChecked(kWakeUp, "round " + std::to_string(round + 1) + ": the held poll " +
                                        (reading ? "ran out without the line" : "had no readable answer"));
        return;
      }
      for (const std::int64_t time : reading->createdAt) newest = std::max(newest, time);
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
    const auto slowest = bot_.Slowest().count();
    if (slowest <= kPollIntervalMs) {
      report_.Ok(kSpeed);
    } else {
      report_.Fail(kSpeed, "the slowest took " + std::to_string(slowest) + " ms", kSlow);
    }
  }

  const Options& options_;
  Report& report_;
  const std::string neighbour_;
  const std::string run_id_;
  BotClient bot_;
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
