// What an answer means for a check, as the plug-in would read it: each verdict goes to the report with
// what the plug-in would do about it (consequences.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "botcheck/answer_checks.h"
#include "botcheck/http_client.h"
#include "botcheck/report.h"

namespace botcheck {

// "answered HTTP 400 (body)", or "no answer: why".
std::string Answered(const HttpAnswer& answer);

// Could not connect at all: no check can be made.
bool NothingAnswers(const HttpAnswer& answer);

// A request of an /api path that must succeed; `lost` says what a refusal of it would lose.
bool ExpectSuccess(Report& report, const std::string& check, const HttpAnswer& answer, const char* lost);

// Any failed health probe is the same to the plug-in, a 401 or a refusal included.
void ExpectHealthy(Report& report, const std::string& check, const HttpAnswer& answer);

// A request without the key, or with a wrong one, that must be refused with 401.
void ExpectRefusal(Report& report, const std::string& check, const HttpAnswer& answer);

// One answer to a poll with `since`, judged line by line; its reading when it is readable.
std::optional<OutboundReading> JudgePoll(Report& report, const char* check, const HttpAnswer& answer,
                                         std::int64_t since);

}  // namespace botcheck
