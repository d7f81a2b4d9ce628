// Where the bot is and how a request names what it wants: the only code that reads BridgeUrl and
// ApiKey for requests.
#pragma once

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

// BridgeUrl + path, then "?name=value&..." with each value percent-encoded (names are the
// plug-in's own and go as they are).
std::string BotUrl(std::string_view path, const std::vector<QueryParam>& query = {});

// The header lines of every request to the bot: none without an ApiKey, else exactly
// "Authorization: Bearer <ApiKey>".
std::vector<std::string> BuildAuthHeaders();

}  // namespace palaverlink
