// The one way to push a JSON body to the bot.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace palaverlink {

// POSTs `body` (serialised compactly, keys in ascending byte order, raw UTF-8) to BridgeUrl + path
// and returns at once; dropped while the link is down. A body that is not valid UTF-8 throws
// nlohmann::json::type_error and nothing is sent.
void PostJson(const std::string& path, const nlohmann::json& body);

// The header lines of every request to the bot: none without an ApiKey, else exactly
// "Authorization: Bearer <ApiKey>".
std::vector<std::string> BuildAuthHeaders();

}  // namespace palaverlink
