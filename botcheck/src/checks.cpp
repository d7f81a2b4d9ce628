#include "botcheck/checks.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "botcheck/answer_checks.h"
#include "botcheck/failure_reading.h"
#include "botcheck/http_client.h"
#include "botcheck/plugin_requests.h"

namespace botcheck {
namespace {

// What the plug-in does about each kind of fault, as the last part of a FAIL line.
constexpr char kLinkDown[] =
    "the plug-in would take the link down with one warning and go silent (no chat either way, no player "
    "lists) until its next successful health probe";
constexpr char kKeyRejected[] =
    "the plug-in would write its rejected-key warning and go silent until its next successful health probe";
constexpr char kHealthFails[] =
    "the plug-in's health probe would fail, so after any failed request the link would never come back up";
constexpr char kOpenDoor[] =
    "the plug-in would not notice, but anyone who reaches the bot could post chat and player lists";
constexpr char kRefusedNot401[] =
    "the plug-in, given a wrong ApiKey, would drop each request with a 'the bot refused' warning and keep "
    "the link up, instead of the warning that says to fix the key";
constexpr char kLostNot401[] =
    "the plug-in, given a wrong ApiKey, would write 'lost connection' instead of the warning that says to "
    "fix the key";
constexpr char kNotJsonType[] =
    "the plug-in reads the text as JSON whatever the type, but the bot interface answers application/json";
constexpr char kUnparsable[] =
    "the plug-in would write 'could not parse outbound response' on every poll and show nothing";
constexpr char kMissingMessages[] =
    "the plug-in would write 'outbound response missing 'messages'' on every poll and show nothing";
constexpr char kBadElement[] =
    "the plug-in would skip such messages (or show them wrongly) with one warning per poll";
constexpr char kWrongUnit[] =
    "the plug-in's cursor is in milliseconds since 1970: messages would be never shown, or hide later ones";
constexpr char kTwinTimes[] =
    "the plug-in asks for messages after the greatest createdAt it saw: of two that share one, the second "
    "is lost when they come in different polls";
constexpr char kSinceIgnored[] = "the plug-in would show these messages again on every poll";
constexpr char kSlow[] =
    "the plug-in keeps one poll out at a time: every bot message would reach the players late";
constexpr char kHeldTooLong[] =
    "the plug-in's host gives up on a request after 10 s, little more than the largest waitSeconds (5): a "
    "poll held past waitSeconds would time out and take the link down";
// The refusal of one request (a 4xx but 401, 408, 429): what the plug-in does, then what is lost.
constexpr char kRefusedPrefix[] =
    "the plug-in would drop the request with one warning ('the bot refused ...') and keep the link up: ";
constexpr char kLineLost[] = "that chat line would never reach the bot";
constexpr char kListLost[] = "the bot would not learn who is playing";
constexpr char kLeaveLost[] = "the bot would not learn of the logout";
constexpr char kPollLost[] = "no bot message would reach the players of the map";
// The wait asked for by the long-poll check, and the slack allowed on top of it.
constexpr int kLongPollWaitSeconds = 2;
constexpr int kLongPollSlackMs = 1000;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Excerpt(const std::string& body) {
  constexpr std::size_t kLongest = 120;
  std::string text = body.substr(0, kLongest);
  std::replace(text.begin(), text.end(), '\n', ' ');
  if (body.size() > kLongest) text += "...";
  return text;
}

std::string Answered(const HttpAnswer& answer) {
  if (!answer.reached) return "no answer: " + answer.error;
  std::string text = "answered HTTP " + std::to_string(answer.status);
  if (!answer.body.empty()) text += " (" + Excerpt(answer.body) + ")";
  return text;
}

class Checker {
 public:
  Checker(const Options& options, Report& report) : options_(options), report_(report) {}

  void Run() {
    CheckHealth();
    CheckKeyIsDemanded();
    const std::int64_t started = NowMs();
    CheckPoll("first poll of the map (since = now)", started);
    CheckPosts(started);
    const std::vector<std::int64_t> created = CheckPoll("poll for everything (since=0)", 0);
    CheckTimes(created);
    CheckSince(created);
    CheckLongPoll();
    CheckSpeed();
  }

 private:
  // `held`: a long poll, which may take as long as it asked for and so is left out of the speed check.
  HttpAnswer Get(const std::string& path, std::vector<std::string> headers, bool held = false) {
    HttpAnswer answer = Send({"GET", options_.url + path, std::move(headers), {}, Timeout()});
    return held ? answer : Track(answer);
  }

  HttpAnswer Post(const std::string& path, const nlohmann::json& body, std::vector<std::string> headers) {
    headers.push_back("Content-Type: application/json");
    return Track(Send({"POST", options_.url + path, std::move(headers), WireText(body), Timeout()}));
  }

  std::chrono::seconds Timeout() const { return std::chrono::seconds(options_.timeout_seconds); }

  HttpAnswer Track(HttpAnswer answer) {
    if (answer.reached && answer.elapsed > slowest_.elapsed) slowest_ = answer;
    return answer;
  }

  // A request of an /api path that must succeed; `lost` says what a refusal of it would lose.
  bool ExpectSuccess(const std::string& name, const HttpAnswer& answer, const char* lost) {
    if (answer.Succeeded()) {
      report_.Ok(name);
      return true;
    }
    switch (ReadFailure(answer.reached, answer.status)) {
      case FailureReading::kRefused:
        report_.Fail(name, Answered(answer), std::string(kRefusedPrefix) + lost);
        break;
      case FailureReading::kKeyRejected:
        report_.Fail(name, Answered(answer), kKeyRejected);
        break;
      case FailureReading::kLinkLost:
        report_.Fail(name, Answered(answer), kLinkDown);
        break;
    }
    return false;
  }

  // Any failed health probe is the same to the plug-in, a 401 or a refusal included.
  void ExpectHealthy(const std::string& name, const HttpAnswer& answer) {
    if (answer.Succeeded()) {
      report_.Ok(name);
    } else {
      report_.Fail(name, Answered(answer), kHealthFails);
    }
  }

  void CheckHealth() {
    ExpectHealthy("GET /health without a key answers 2xx", Get("/health", {}));
    if (options_.api_key.empty()) return;
    ExpectHealthy("GET /health with the key answers 2xx", Get("/health", AuthHeaders(options_.api_key)));
  }

  void ExpectRefusal(const std::string& name, const HttpAnswer& answer) {
    if (answer.reached && answer.status == 401) {
      report_.Ok(name);
    } else if (answer.Succeeded()) {
      report_.Fail(name, "accepted it: " + Answered(answer), kOpenDoor);
    } else if (ReadFailure(answer.reached, answer.status) == FailureReading::kRefused) {
      report_.Fail(name, Answered(answer) + ", not 401", kRefusedNot401);
    } else if (answer.reached) {
      report_.Fail(name, Answered(answer) + ", not 401", kLostNot401);
    } else {
      report_.Fail(name, Answered(answer), kLostNot401);
    }
  }

  void CheckKeyIsDemanded() {
    const char* without = "POST /api/chat/inbound without the key is refused with 401";
    const char* wrong = "GET /api/chat/outbound with a wrong key is refused with 401";
    if (options_.api_key.empty()) {
      report_.Skip(without, "no --api-key given");
      report_.Skip(wrong, "no --api-key given");
      return;
    }
    ExpectRefusal(without, Post("/api/chat/inbound", ChatInboundBody(Line(options_.map_id, "no key")), {}));
    ExpectRefusal(wrong,
                  Get(OutboundPath(options_.map_id, NowMs()), AuthHeaders(options_.api_key + "-wrong")));
  }

  static ChatLineBody Line(const std::string& map_id, const std::string& text) {
    return {map_id, "76561198000000001", "Ann Lee", "", "palaverlink-botcheck: " + text, "global"};
  }

  void CheckPosts(std::int64_t started) {
    const auto key = AuthHeaders(options_.api_key);
    ExpectSuccess("POST /api/chat/inbound (global line, no tribe, non-ASCII text) answers 2xx",
                  Post("/api/chat/inbound", ChatInboundBody(Line(options_.map_id, "Grüße, ça va? ✓")), key),
                  kLineLost);
    // Servers that switch tribe and alliance chat on send these channels too.
    for (const char* channel : {"tribe", "alliance"}) {
      ChatLineBody line = Line(options_.map_id, std::string(channel) + " line");
      line.channel = channel;
      line.tribeName = "Wolves";
      ExpectSuccess("POST /api/chat/inbound (" + std::string(channel) + " line) answers 2xx",
                    Post("/api/chat/inbound", ChatInboundBody(line), key), kLineLost);
    }
    // A line from a second map gives a bot that relays between maps something to show on ours.
    ExpectSuccess(
        "POST /api/chat/inbound from a second map answers 2xx",
        Post("/api/chat/inbound", ChatInboundBody(Line(options_.map_id + "-neighbour", "hello")), key),
        kLineLost);
    const std::vector<SessionPlayerBody> players = {
        {"76561198000000001", "Ann Lee", started, "ann_steam", "Wolves"},
        // The largest platform id, and a player without a player state (empty account and tribe).
        {"18446744073709551615", "Ben", started, "", ""},
    };
    ExpectSuccess("POST /api/sessions/sync (two players, largest platform id) answers 2xx",
                  Post("/api/sessions/sync", SessionSyncBody(options_.map_id, players), key), kListLost);
    ExpectSuccess("POST /api/sessions/sync (no players) answers 2xx",
                  Post("/api/sessions/sync", SessionSyncBody(options_.map_id, {}), key), kListLost);
    ExpectSuccess("POST /api/sessions/leave answers 2xx",
                  Post("/api/sessions/leave", SessionLeaveBody(options_.map_id, "18446744073709551615"), key),
                  kLeaveLost);
  }

  // One poll, checked line by line; returns the createdAt of its readable messages. With
  // `wait_seconds` a long poll, whose time is left to CheckLongPoll.
  std::vector<std::int64_t> CheckPoll(const std::string& what, std::int64_t since, int wait_seconds = 0) {
    const std::string prefix = "GET /api/chat/outbound, " + what + ": ";
    const HttpAnswer answer = Get(OutboundPath(options_.map_id, since, wait_seconds),
                                  AuthHeaders(options_.api_key), wait_seconds > 0);
    last_poll_ = answer;
    if (!ExpectSuccess(prefix + "answers 2xx", answer, kPollLost)) return {};

    const std::string type = MediaType(answer.contentType);
    if (type == "application/json") {
      report_.Ok(prefix + "Content-Type application/json");
    } else {
      report_.Fail(prefix + "Content-Type application/json", "Content-Type is '" + answer.contentType + "'",
                   kNotJsonType);
    }

    const OutboundReading reading = ReadOutbound(answer.body);
    const std::string shape = prefix + "a JSON object with a \"messages\" array";
    if (reading.shape == OutboundShape::kUnparsable) {
      report_.Fail(shape, "not JSON: " + Excerpt(answer.body), kUnparsable);
      return {};
    }
    if (reading.shape == OutboundShape::kMissingMessages) {
      report_.Fail(shape, "no \"messages\" array: " + Excerpt(answer.body), kMissingMessages);
      return {};
    }
    report_.Ok(shape);

    const std::string elements =
        prefix + "every message has createdAt, author, message, kind (and sourceMapName)";
    if (reading.count == 0) {
      report_.Skip(elements, "no messages in the answer");
    } else if (!reading.problems.empty()) {
      report_.Fail(elements, reading.problems.front(), kBadElement);
    } else {
      report_.Ok(elements);
    }

    if (since > 0) {
      const std::string newer = prefix + "only messages created after since";
      if (auto problem = SinceProblem(since, reading.createdAt)) {
        report_.Fail(newer, *problem, kSinceIgnored);
      } else {
        report_.Ok(newer);
      }
    }
    return reading.createdAt;
  }

  void CheckTimes(const std::vector<std::int64_t>& created) {
    const char* unit = "createdAt in milliseconds since 1970";
    const char* unique = "createdAt differs between the messages of a map";
    if (created.empty()) {
      report_.Skip(unit, "the bot had no messages for " + options_.map_id);
      report_.Skip(unique, "the bot had no messages for " + options_.map_id);
      return;
    }
    if (auto problem = CreatedAtUnitProblem(created, NowMs())) {
      report_.Fail(unit, *problem, kWrongUnit);
    } else {
      report_.Ok(unit);
    }
    if (auto problem = DuplicateCreatedAtProblem(created)) {
      report_.Fail(unique, *problem, kTwinTimes);
    } else {
      report_.Ok(unique);
    }
  }

  void CheckSince(const std::vector<std::int64_t>& created) {
    if (created.empty()) {
      report_.Skip("since honoured",
                   "the bot had no messages for " + options_.map_id +
                       " (a bot that relays between maps gets one from the second map's line)");
      return;
    }
    const auto [oldest, newest] = std::minmax_element(created.begin(), created.end());
    CheckPoll("since the newest message", *newest);
    if (*oldest != *newest) CheckPoll("since the oldest message", *oldest);
  }

  // The plug-in's long poll (OutboundWaitSeconds): a bot may ignore waitSeconds and answer at once,
  // but one that holds the poll must answer once the wait is over.
  void CheckLongPoll() {
    const std::string wait = std::to_string(kLongPollWaitSeconds);
    CheckPoll("long poll (waitSeconds=" + wait + ", since = now)", NowMs(), kLongPollWaitSeconds);
    const std::string name =
        "GET /api/chat/outbound with waitSeconds=" + wait + " is held at most " + wait + " s";
    const auto took = last_poll_.elapsed.count();
    const bool in_time = took <= kLongPollWaitSeconds * 1000 + kLongPollSlackMs;
    if (!last_poll_.reached && in_time) {
      report_.Skip(name, "no answer: " + last_poll_.error);
    } else if (in_time) {
      report_.Ok(name);
    } else {
      const std::string what = last_poll_.reached ? "the answer took " : "no answer after ";
      report_.Fail(name, what + std::to_string(took) + " ms", kHeldTooLong);
    }
  }

  void CheckSpeed() {
    const std::string name = "every answer within " + std::to_string(kPollIntervalMs / 1000) + " s";
    if (slowest_.elapsed.count() <= kPollIntervalMs) {
      report_.Ok(name);
    } else {
      report_.Fail(name, "the slowest took " + std::to_string(slowest_.elapsed.count()) + " ms", kSlow);
    }
  }

  const Options& options_;
  Report& report_;
  HttpAnswer slowest_;
  HttpAnswer last_poll_;
};

}  // namespace

void RunChecks(const Options& options, Report& report) { Checker(options, report).Run(); }

}  // namespace botcheck
