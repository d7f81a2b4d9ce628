// The one way to push a JSON body to the bot.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "link/bot_request.h"

namespace palaverlink {

// POSTs `body` (serialised compactly, keys in ascending byte order, raw UTF-8) to the bot's `path`
// and returns at once; dropped while the link is down (with a Debug line). A body that is not
// valid UTF-8 throws nlohmann::json::type_error and nothing is sent. `on_outcome`, when given,
// hears how the request ended.
SendResult PostJson(const std::string& path, const nlohmann::json& body, OutcomeHandler on_outcome = nullptr);

}  // namespace palaverlink
