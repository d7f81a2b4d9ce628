// How a request to the bot is written: its URL, its header lines and its JSON body. Pure: the sender
// passes BridgeUrl and ApiKey, so that palaverlink-botcheck writes its requests with this same code.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace palaverlink {

struct QueryParam {
  std::string name;
  std::string value;
};

// Every byte but the unreserved characters of RFC 3986 (letters, digits, '-', '.', '_', '~') as
// %XX with upper-case hex digits.
std::string PercentEncode(std::string_view value);

// base + path, then "?name=value&..." with each value percent-encoded (names are the plug-in's own
// and go as they are).
std::string BotUrl(std::string_view base, std::string_view path, const std::vector<QueryParam>& query = {});

// The query of the outbound poll: mapId and since, then waitSeconds for a long poll (above 0).
std::vector<QueryParam> OutboundPollQuery(std::string_view map_id, std::int64_t since, int wait_seconds);

// The header lines of every request to the bot: none without a key, else exactly
// "Authorization: Bearer <api_key>".
std::vector<std::string> AuthHeaders(std::string_view api_key);

// "Idempotency-Key: \"<key>\"", a quoted string as the IETF HTTPAPI draft has it.
std::string IdempotencyKeyHeader(std::string_view key);

// The body as it goes out: compact, keys in ascending byte order, raw UTF-8. A text that is not
// valid UTF-8 throws nlohmann::json::type_error.
std::string JsonBodyText(const nlohmann::json& body);

}  // namespace palaverlink
