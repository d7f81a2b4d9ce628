// The conformance run: every request the plug-in sends, in the order a server would send them,
// each answer checked against what the plug-in relies on.
#pragma once

#include "botcheck/options.h"
#include "botcheck/report.h"

namespace botcheck {

// The longest an answer to the poll may take before it holds back the next one (the default
// OutboundPollSeconds).
inline constexpr int kPollIntervalMs = 3000;

void RunChecks(const Options& options, Report& report);

}  // namespace botcheck
