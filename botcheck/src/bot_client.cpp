#include "bot_client.h"

#include <utility>

#include "botcheck/checks.h"
#include "botcheck/plugin_requests.h"
#include "link/request_form.h"

namespace botcheck {
namespace {

using palaverlink::AuthHeaders;
using palaverlink::BotUrl;
using palaverlink::Endpoint;
namespace endpoints = palaverlink::endpoints;

}  // namespace

BotClient::BotClient(const Options& options, std::string run_id)
    : options_(options), run_id_(std::move(run_id)) {}

HttpRequest BotClient::Request(Endpoint endpoint, std::string url, std::vector<std::string> headers,
                               std::string body) const {
  if (endpoint.method == palaverlink::HttpMethod::kPost) headers.push_back("Content-Type: application/json");
  return {std::string(palaverlink::MethodName(endpoint.method)), std::move(url), std::move(headers),
          std::move(body), std::chrono::seconds(options_.timeout_seconds)};
}

HttpAnswer BotClient::SendWithKey(HttpClient& connection, Endpoint endpoint, const HttpRequest& request) {
  HttpAnswer answer = connection.Send(request);
  if (!options_.api_key.empty() && answer.reached && (answer.status == 401 || answer.status == 403)) {
    throw KeyRefused{std::string(palaverlink::MethodName(endpoint.method)) + " " + std::string(endpoint.path),
                     answer.status};
  }
  return answer;
}

HttpAnswer BotClient::Tracked(HttpAnswer answer) {
  if (answer.reached && answer.elapsed > slowest_) slowest_ = answer.elapsed;
  return answer;
}

HttpAnswer BotClient::Health() {
  return Tracked(
      connection_.Send(Request(endpoints::kHealth, BotUrl(options_.url, endpoints::kHealth.path), {})));
}

HttpAnswer BotClient::HealthWithKey() {
  return Tracked(SendWithKey(connection_, endpoints::kHealth,
                             Request(endpoints::kHealth, BotUrl(options_.url, endpoints::kHealth.path),
                                     AuthHeaders(options_.api_key))));
}

HttpAnswer BotClient::PollWithoutKey(const std::string& map_id, std::int64_t since) {
  return Tracked(
      connection_.Send(Request(endpoints::kChatOutbound, OutboundUrl(options_.url, map_id, since), {})));
}

HttpAnswer BotClient::PollWithWrongKey(const std::string& map_id, std::int64_t since) {
  return Tracked(connection_.Send(Request(endpoints::kChatOutbound, OutboundUrl(options_.url, map_id, since),
                                          AuthHeaders(options_.api_key + "-wrong"))));
}

HttpAnswer BotClient::PostWithoutKey(Endpoint endpoint, const nlohmann::json& body) {
  std::vector<std::string> headers = {
      palaverlink::IdempotencyKeyHeader(run_id_ + "-" + std::to_string(++posts_))};
  return Tracked(connection_.Send(Request(endpoint, BotUrl(options_.url, endpoint.path), std::move(headers),
                                          palaverlink::JsonBodyText(body))));
}

HttpAnswer BotClient::Poll(const std::string& map_id, std::int64_t since) {
  return Tracked(SendWithKey(connection_, endpoints::kChatOutbound,
                             Request(endpoints::kChatOutbound, OutboundUrl(options_.url, map_id, since),
                                     AuthHeaders(options_.api_key))));
}

Posted BotClient::Post(Endpoint endpoint, const nlohmann::json& body) {
  std::vector<std::string> headers = AuthHeaders(options_.api_key);
  headers.push_back(palaverlink::IdempotencyKeyHeader(run_id_ + "-" + std::to_string(++posts_)));
  Posted posted{endpoint,
                Request(endpoint, BotUrl(options_.url, endpoint.path), std::move(headers),
                        palaverlink::JsonBodyText(body)),
                {}};
  posted.answer = Tracked(SendWithKey(connection_, endpoint, posted.request));
  return posted;
}

HttpAnswer BotClient::PostAgain(const Posted& first) {
  return Tracked(SendWithKey(connection_, first.endpoint, first.request));
}

HttpAnswer BotClient::HeldPollOn(HttpClient& connection, std::int64_t since) {
  return SendWithKey(connection, endpoints::kChatOutbound,
                     Request(endpoints::kChatOutbound,
                             OutboundUrl(options_.url, options_.map_id, since, kLongPollWaitSeconds),
                             AuthHeaders(options_.api_key)));
}

HttpAnswer BotClient::WarmUpOn(HttpClient& connection, std::int64_t since) {
  return SendWithKey(connection, endpoints::kChatOutbound,
                     Request(endpoints::kChatOutbound, OutboundUrl(options_.url, options_.map_id, since),
                             AuthHeaders(options_.api_key)));
}

}  // namespace botcheck
