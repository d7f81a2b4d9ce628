// The link's and the outbound poll's state, in one record until each lives in its own module.
// The host runs all the plug-in's code one call at a time on the game thread, so nothing here has
// a lock. The modules reach their parts through their own accessors (LinkState(), OutboundCursor(),
// ...), which point into this record.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>

namespace palaverlink {

// Whether the bot is reachable: set by a lost link, cleared by a successful health probe.
struct LinkStateData {
  bool bridgeDown = false;
};

// The one outbound poll that may be out at a time.
struct PollInFlight {
  bool outstanding = false;
  std::uint64_t sequence = 0;  // of the poll that is out
  int ticksWaited = 0;         // timer ticks since it was sent
  // How long the bot held it tells a long poll from an at-once answer.
  std::chrono::steady_clock::time_point sentAt;
};

// A chat line or leave notice kept while the bot was away.
struct KeptPost {
  std::uint64_t sequence = 0;  // the order in which the posts were made
  std::string path;
  std::string body;
};

// The outage buffer: the kept posts, oldest first, whether one of them is on its way, and what the
// line after the reconnection reports.
struct OutageBufferData {
  std::deque<KeptPost> posts;
  std::uint64_t nextSequence = 0;
  bool sending = false;
  std::size_t sent = 0;
  std::size_t dropped = 0;
};

using NameSet = std::set<std::string, std::less<>>;

struct PluginState {
  // The link to the bot, and the requests whose last answer was a refusal (one warning per run).
  LinkStateData link;
  NameSet refusedRequests;
  OutageBufferData outageBuffer;

  // Outbound polling: the position (milliseconds since 1970-01-01 00:00 UTC, 0 until start-up)
  // and the poll that is out.
  std::int64_t outboundCursor = 0;
  PollInFlight poll;
};

PluginState& State();

// The link's and the poll's state back to their load-time values.
void ResetLinkAndPollState();

// The outbound poll position.
std::int64_t& OutboundCursor();

}  // namespace palaverlink
