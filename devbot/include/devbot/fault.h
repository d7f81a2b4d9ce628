// The faults that the bot can play for tests of the plug-in's link handling.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace devbot {

enum class FaultMode {
  kNone,
  kDown,       // every request but /admin answers 503, /health included: the bot looks dead
  kRejectKey,  // every /api request answers 401; /health still answers 200
  kGarbage,    // the outbound poll answers a text that is not JSON
  kSlow,       // every request but /admin is answered after a delay
  kHang,       // every request but /admin is held unread for the delay, then answered 503: a host that hangs
};

struct Fault {
  FaultMode mode = FaultMode::kNone;
  std::chrono::milliseconds delay{0};  // used by kSlow and kHang
};

// "none", "down", "401", "garbage", "slow", "hang"
std::string_view FaultModeName(FaultMode mode);
std::optional<FaultMode> FaultModeFromName(std::string_view name);

}  // namespace devbot
