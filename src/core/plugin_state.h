// The outbound poll's state, in one record until it lives in its own module. The host runs all the
// plug-in's code one call at a time on the game thread, so nothing here has a lock.
#pragma once

#include <chrono>
#include <cstdint>

namespace palaverlink {

// The one outbound poll that may be out at a time.
struct PollInFlight {
  bool outstanding = false;
  std::uint64_t sequence = 0;  // of the poll that is out
  int ticksWaited = 0;         // timer ticks since it was sent
  // How long the bot held it tells a long poll from an at-once answer.
  std::chrono::steady_clock::time_point sentAt;
};

struct PluginState {
  // Outbound polling: the position (milliseconds since 1970-01-01 00:00 UTC, 0 until start-up)
  // and the poll that is out.
  std::int64_t outboundCursor = 0;
  PollInFlight poll;
};

PluginState& State();

// The poll's state back to its load-time values.
void ResetLinkAndPollState();

// The outbound poll position.
std::int64_t& OutboundCursor();

}  // namespace palaverlink
