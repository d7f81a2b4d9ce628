#include "link/bot_address.h"

#include "core/settings.h"

namespace palaverlink {
namespace {

constexpr char kBearerPrefix[] = "Authorization: Bearer ";

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

std::string BotUrl(std::string_view path, const std::vector<QueryParam>& query) {
  std::string url = Settings().BridgeUrl;
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

std::vector<std::string> BuildAuthHeaders() {
  const std::string& key = Settings().ApiKey;
  if (key.empty()) return {};
  return {kBearerPrefix + key};
}

}  // namespace palaverlink
