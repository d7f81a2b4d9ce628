// The events of a program that prints one JSON object a line (devbot and devserver both do), read
// from its standard output.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace palaverlink::e2e {

using Json = nlohmann::json;

// The line as a JSON object; nothing for any other line.
std::optional<Json> ParseEvent(const std::string& line);

// Every event printed so far, in order.
std::vector<Json> Events(const ChildProcess& process);
// Those whose "event" is `kind`.
std::vector<Json> EventsOf(const ChildProcess& process, const std::string& kind);

// The first event that matches, waiting at most `timeout`.
std::optional<Json> WaitForEvent(ChildProcess& process, const std::function<bool(const Json&)>& match,
                                 std::chrono::milliseconds timeout);

}  // namespace palaverlink::e2e
