#include "devbot/fault.h"

#include <array>
#include <utility>

namespace devbot {
namespace {

constexpr std::array<std::pair<FaultMode, std::string_view>, 6> kNames{{
    {FaultMode::kNone, "none"},
    {FaultMode::kDown, "down"},
    {FaultMode::kRejectKey, "401"},
    {FaultMode::kGarbage, "garbage"},
    {FaultMode::kSlow, "slow"},
    {FaultMode::kHang, "hang"},
}};

}  // namespace

std::string_view FaultModeName(FaultMode mode) {
  for (const auto& [known, name] : kNames) {
    if (known == mode) return name;
  }
  return "none";
}

std::optional<FaultMode> FaultModeFromName(std::string_view name) {
  for (const auto& [mode, known] : kNames) {
    if (known == name) return mode;
  }
  return std::nullopt;
}

}  // namespace devbot
