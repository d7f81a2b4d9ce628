// JSON texts that the bot writes: compact, and never failing on bytes that are not UTF-8 (a map id
// from a query string may hold any bytes).
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "devbot/http_types.h"

namespace devbot {

std::string ToJsonText(const nlohmann::json& value);

Response JsonResponse(int status, const nlohmann::json& value);

// {"error": reason}
Response ErrorResponse(int status, const std::string& reason);

}  // namespace devbot
