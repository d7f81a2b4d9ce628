#include "link/request_form.h"

namespace palaverlink {
namespace {

constexpr std::string_view kBearerPrefix = "Authorization: Bearer ";

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

std::string PercentEncode(std::string_view value) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(value.size());
  for (const char byte : value) {
    const auto c = static_cast<unsigned char>(byte);
    if (IsUnreserved(c)) {
      encoded.push_back(byte);
      continue;
    }
    encoded.push_back('%');
    encoded.push_back(kHex[c >> 4]);
    encoded.push_back(kHex[c & 0x0F]);
  }
  return encoded;
}

std::string BotUrl(std::string_view base, std::string_view path, const std::vector<QueryParam>& query) {
  std::size_t length = base.size() + path.size();
  for (const QueryParam& param : query) length += param.name.size() + param.value.size() * 3 + 2;
  std::string url;
  url.reserve(length);
  url += base;
  url += path;
  char separator = '?';
  for (const QueryParam& param : query) {
    url += separator;
    url += param.name;
    url += '=';
    url += PercentEncode(param.value);
    separator = '&';
  }
  return url;
}

std::vector<QueryParam> OutboundPollQuery(std::string_view map_id, std::int64_t since, int wait_seconds) {
  std::vector<QueryParam> query = {{"mapId", std::string(map_id)}, {"since", std::to_string(since)}};
  if (wait_seconds > 0) query.push_back({"waitSeconds", std::to_string(wait_seconds)});
  return query;
}

std::vector<std::string> AuthHeaders(std::string_view api_key) {
  if (api_key.empty()) return {};
  std::string line(kBearerPrefix);
  line += api_key;
  return {line};
}

std::string IdempotencyKeyHeader(std::string_view key) {
  std::string line = "Idempotency-Key: \"";
  line += key;
  line += '"';
  return line;
}

std::string JsonBodyText(const nlohmann::json& body) {
  return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

}  // namespace palaverlink
