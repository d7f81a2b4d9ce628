// Whether the bot is reachable: a failed request takes the link down, a successful health probe
// brings it back.
#pragma once

#include <string>

namespace palaverlink {

inline constexpr int HealthCheckSeconds = 30;

struct LinkStateData {
  bool bridgeDown = false;
};

LinkStateData& LinkState();

// Takes the link down with one warning (the key warning when the text holds "401"); nothing when
// it is down already. `operation` is method, blank, path ("POST /api/chat/inbound").
void MarkLinkDown(const std::string& operation, const std::string& failure_text);

// Sends one GET /health; its success while the link is down brings the link back up.
void HealthCheck();

}  // namespace palaverlink
