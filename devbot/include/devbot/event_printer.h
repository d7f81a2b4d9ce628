// Writes the bot's events to standard output, one compact JSON object a line, flushed per line.
#pragma once

#include <nlohmann/json.hpp>

namespace devbot {

void PrintEvent(const nlohmann::json& event);

}  // namespace devbot
