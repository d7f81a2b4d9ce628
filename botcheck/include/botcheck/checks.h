// The conformance run: every request the plug-in sends, in the order a server would send them,
// each answer checked against what the plug-in relies on.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "botcheck/options.h"
#include "botcheck/report.h"

namespace botcheck {

// The longest an answer to the poll may take before it holds back the next one (the default
// OutboundPollSeconds).
inline constexpr int kPollIntervalMs = 3000;
// The wait asked for by the long-poll checks, and the slack allowed on top of it.
inline constexpr int kLongPollWaitSeconds = 2;
inline constexpr int kLongPollSlackMs = 1000;
// A message that arrives during a held poll must be answered within this (a bot that writes its
// answer in pieces with Nagle's algorithm on stalls about 40 ms on the client's delayed ACK).
inline constexpr int kWakeUpLimitMs = 20;
inline constexpr int kWakeUpRounds = 3;

// The checks of a run with these options, in the order they are printed: the same on every run.
std::vector<std::string> CheckNames(const Options& options);

// The list for --help: every check, those made only with --api-key marked.
std::string ChecksText();

// Runs every check and prints the report; returns the exit status.
ExitCode RunChecks(const Options& options, std::ostream& out);

}  // namespace botcheck
