// The bodies of the admin commands.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "devbot/fault.h"
#include "devbot/shape_check.h"

namespace devbot {

// POST /admin/say {"author":..,"message":..[,"mapId":..]}; without mapId the line goes to every
// known map.
struct SayCommand {
  std::string author;
  std::string message;
  std::optional<std::string> mapId;
};

// The longest delay that "slow" accepts, so that no test can hang on the bot.
inline constexpr std::chrono::milliseconds kLongestFaultDelay{60000};
// The delay of "slow" when the command names none.
inline constexpr std::chrono::milliseconds kDefaultSlowDelay{1000};

Parsed<SayCommand> ParseSayCommand(std::string_view body);
// POST /admin/fault {"mode":"none|down|401|garbage|slow"[,"ms":N]}
Parsed<Fault> ParseFaultCommand(std::string_view body);

}  // namespace devbot
