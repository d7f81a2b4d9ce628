// The development bot's request handling on any sequence of requests: every answer is a status the
// bot interface names (never 500, which means the bot itself failed), every JSON answer and every
// printed event is valid JSON, and an error answer says why.
#include <fuzzer/FuzzedDataProvider.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "devbot/bot.h"
#include "devbot/json_text.h"
#include "fuzz_check.h"

namespace {

constexpr std::array<const char*, 5> kMethods = {"GET", "POST", "HEAD", "PUT", "DELETE"};
constexpr std::array<const char*, 13> kPaths = {"/health",
                                                "/api/chat/inbound",
                                                "/api/chat/outbound",
                                                "/api/sessions/sync",
                                                "/api/sessions/leave",
                                                "/admin/say",
                                                "/admin/fault",
                                                "/admin/inbound",
                                                "/admin/sessions",
                                                "/admin/leaves",
                                                "/admin/messages",
                                                "/admin/maps",
                                                "/api/"};
constexpr std::array<const char*, 4> kQueryNames = {"mapId", "since", "limit", ""};
constexpr char kKey[] = "s3cret";
constexpr int kRequestsPerInput = 8;

template <std::size_t N>
std::string Pick(FuzzedDataProvider& input, const std::array<const char*, N>& choices) {
  // Now and then a text of the input's own instead of a known one.
  if (input.ConsumeIntegralInRange<int>(0, 7) == 0) return input.ConsumeRandomLengthString(24);
  return choices[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

devbot::Request MakeRequest(FuzzedDataProvider& input) {
  devbot::Request request;
  request.method = Pick(input, kMethods);
  request.path = Pick(input, kPaths);
  const int parameters = input.ConsumeIntegralInRange<int>(0, 3);
  for (int i = 0; i < parameters; ++i) {
    std::string name = Pick(input, kQueryNames);
    request.query.emplace(std::move(name), input.ConsumeRandomLengthString(32));
  }
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      break;
    case 1:
      request.headers.emplace("Authorization", std::string("Bearer ") + kKey);
      break;
    case 2:
      request.headers.emplace("authorization", input.ConsumeRandomLengthString(24));
      break;
    default:
      request.headers.emplace("Authorization", std::string("Bearer ") + kKey);
      request.headers.emplace("Authorization", std::string("Bearer ") + kKey);
      break;
  }
  if (input.ConsumeBool()) {
    request.headers.emplace("Content-Type",
                            input.ConsumeBool() ? "application/json" : input.ConsumeRandomLengthString(32));
  }
  if (input.ConsumeIntegralInRange<int>(0, 15) == 0)
    request.remote_address = input.ConsumeRandomLengthString(16);
  request.body = input.ConsumeRandomLengthString(512);
  return request;
}

void CheckEvent(const nlohmann::json& event) {
  const std::string line = devbot::ToJsonText(event);
  const auto parsed = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
  FUZZ_CHECK(!parsed.is_discarded() && parsed.is_object() && parsed.contains("event"),
             "a printed event is not a JSON object with an event: %s", line.c_str());
}

void CheckResponse(const devbot::Request& request, const devbot::Response& response) {
  static const std::set<int> kStatuses = {200, 400, 401, 403, 404, 405, 503};
  FUZZ_CHECK(kStatuses.count(response.status) == 1, "%s %s answered %d: %s", request.method.c_str(),
             request.path.c_str(), response.status, response.body.c_str());
  FUZZ_CHECK(response.delay.count() >= 0 && response.delay.count() <= 60000, "a delay of %lld ms",
             static_cast<long long>(response.delay.count()));
  if (response.content_type != "application/json") return;
  const auto body = nlohmann::json::parse(response.body, nullptr, /*allow_exceptions=*/false);
  FUZZ_CHECK(!body.is_discarded(), "a JSON answer that is not JSON: %s", response.body.c_str());
  if (response.status >= 400) {
    FUZZ_CHECK(body.is_object() && body.contains("error") && body["error"].is_string() &&
                   !body["error"].get<std::string>().empty(),
               "an error answer without a reason: %s", response.body.c_str());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::int64_t now = 1718000000000;
  devbot::Bot bot(
      input.ConsumeBool() ? kKey : "", [&now] { return now; }, CheckEvent);
  for (int i = 0; i < kRequestsPerInput && input.remaining_bytes() > 0; ++i) {
    const devbot::Request request = MakeRequest(input);
    CheckResponse(request, bot.Handle(request));
    now += input.ConsumeIntegralInRange<int>(0, 2);
  }
  return 0;
}
