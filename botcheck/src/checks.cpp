#include "botcheck/checks.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "botcheck/answer_checks.h"
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
constexpr char kNot401[] =
    "the plug-in, given a wrong ApiKey, would write 'lost connection' instead of the warning that says to "
    "fix "
    "the key";
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
    CheckSpeed();
  }

 private:
  HttpAnswer Get(const std::string& path, std::vector<std::string> headers) {
    return Track(Send({"GET", options_.url + path, std::move(headers), {}, Timeout()}));
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

  // A request of the plug-in that must succeed. A 401 on an /api request is what the plug-in takes
  // for a rejected key; on /health it is a failed probe like any other.
  bool ExpectSuccess(const std::string& name, const HttpAnswer& answer, const char* consequence,
                     bool reads_401_as_key = true) {
    if (answer.Succeeded()) {
      report_.Ok(name);
      return true;
    }
    const bool rejected = reads_401_as_key && answer.reached && answer.status == 401;
    report_.Fail(name, Answered(answer), rejected ? kKeyRejected : consequence);
    return false;
  }

  void CheckHealth() {
    ExpectSuccess("GET /health without a key answers 2xx", Get("/health", {}), kHealthFails, false);
    if (options_.api_key.empty()) return;
    ExpectSuccess("GET /health with the key answers 2xx", Get("/health", AuthHeaders(options_.api_key)),
                  kHealthFails, false);
  }

  void ExpectRefusal(const std::string& name, const HttpAnswer& answer) {
    if (answer.reached && answer.status == 401) {
      report_.Ok(name);
    } else if (answer.Succeeded()) {
      report_.Fail(name, "accepted it: " + Answered(answer), kOpenDoor);
    } else if (answer.reached) {
      report_.Fail(name, Answered(answer) + ", not 401", kNot401);
    } else {
      report_.Fail(name, Answered(answer), kNot401);
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
                  kLinkDown);
    // Servers that switch tribe and alliance chat on send these channels too.
    for (const char* channel : {"tribe", "alliance"}) {
      ChatLineBody line = Line(options_.map_id, std::string(channel) + " line");
      line.channel = channel;
      line.tribeName = "Wolves";
      ExpectSuccess("POST /api/chat/inbound (" + std::string(channel) + " line) answers 2xx",
                    Post("/api/chat/inbound", ChatInboundBody(line), key), kLinkDown);
    }
    // A line from a second map gives a bot that relays between maps something to show on ours.
    ExpectSuccess(
        "POST /api/chat/inbound from a second map answers 2xx",
        Post("/api/chat/inbound", ChatInboundBody(Line(options_.map_id + "-neighbour", "hello")), key),
        kLinkDown);
    const std::vector<SessionPlayerBody> players = {
        {"76561198000000001", "Ann Lee", started, "ann_steam", "Wolves"},
        // The largest platform id, and a player without a player state (empty account and tribe).
        {"18446744073709551615", "Ben", started, "", ""},
    };
    ExpectSuccess("POST /api/sessions/sync (two players, largest platform id) answers 2xx",
                  Post("/api/sessions/sync", SessionSyncBody(options_.map_id, players), key), kLinkDown);
    ExpectSuccess("POST /api/sessions/sync (no players) answers 2xx",
                  Post("/api/sessions/sync", SessionSyncBody(options_.map_id, {}), key), kLinkDown);
    ExpectSuccess("POST /api/sessions/leave answers 2xx",
                  Post("/api/sessions/leave", SessionLeaveBody(options_.map_id, "18446744073709551615"), key),
                  kLinkDown);
  }

  // One poll, checked line by line; returns the createdAt of its readable messages.
  std::vector<std::int64_t> CheckPoll(const std::string& what, std::int64_t since) {
    const std::string prefix = "GET /api/chat/outbound, " + what + ": ";
    const HttpAnswer answer = Get(OutboundPath(options_.map_id, since), AuthHeaders(options_.api_key));
    if (!ExpectSuccess(prefix + "answers 2xx", answer, kLinkDown)) return {};

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
};

}  // namespace

void RunChecks(const Options& options, Report& report) { Checker(options, report).Run(); }

}  // namespace botcheck
