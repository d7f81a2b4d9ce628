// The command language of palaverlink-devserver, one command a line:
//   world NAME | join ID CHARNAME [account=TEXT] [tribe=TEXT] [nostate] | chat ID MODE TEXT |
//   leave ID | vanish ID | console ID TEXT | rcon TEXT | sleep MS | unload | load | reload [FILE] | quit
// Arguments are separated by blanks. A double-quoted argument (or part of one, as in
// account="Bob Smith") may hold blanks and the escapes \" \\ \n \uXXXX; \u gives one UTF-16 unit,
// so two of them make a surrogate pair and one alone gives a lone surrogate. The TEXT of chat is
// the rest of the line as it stands, unless the rest is exactly one quoted argument; so is the TEXT
// of console and rcon. Blank lines
// and lines starting with # are ignored. Texts are UTF-8 on input and UTF-16 in the commands.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace devserver {

struct WorldCommand {
  std::u16string map_name;
};
struct JoinCommand {
  std::uint64_t id = 0;
  std::u16string character_name;
  std::u16string account_name;
  std::u16string tribe_name;
  bool has_player_state = true;
};
struct ChatCommand {
  std::uint64_t id = 0;
  int mode = 0;
  std::u16string text;
};
struct LeaveCommand {
  std::uint64_t id = 0;
};
struct VanishCommand {
  std::uint64_t id = 0;
};
struct ConsoleCommand {
  std::uint64_t id = 0;  // the player who types it
  std::u16string text;
};
struct RconCommand {
  std::u16string text;
};
struct SleepCommand {
  std::chrono::milliseconds duration{0};
};
struct UnloadCommand {};
struct LoadCommand {};
struct ReloadCommand {
  std::string library;  // UTF-8 path; empty: the library devserver started with
};
struct QuitCommand {};

using Command =
    std::variant<WorldCommand, JoinCommand, ChatCommand, LeaveCommand, VanishCommand, ConsoleCommand,
                 RconCommand, SleepCommand, UnloadCommand, LoadCommand, ReloadCommand, QuitCommand>;

struct ParsedLine {
  std::optional<Command> command;  // none for a blank line, a comment or an error
  std::string error;               // why the line was rejected; empty when it was not
};

ParsedLine ParseCommand(std::string_view line);

}  // namespace devserver
