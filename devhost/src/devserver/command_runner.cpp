#include "command_runner.h"

#include <type_traits>

namespace devserver {

void CommandRunner::Run(const Command& command) {
  devhost::Game& game = host_.game();
  std::visit(
      [&](const auto& c) {
        using Kind = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<Kind, WorldCommand>) {
          game.CreateWorld(c.map_name);
        } else if constexpr (std::is_same_v<Kind, JoinCommand>) {
          devhost::PlayerSpec spec;
          spec.platform_id = c.id;
          spec.character_name = c.character_name;
          spec.account_name = c.account_name;
          spec.tribe_name = c.tribe_name;
          spec.has_player_state = c.has_player_state;
          game.Join(spec);
          output_.Joined(c.id);
        } else if constexpr (std::is_same_v<Kind, ChatCommand>) {
          game.Chat(c.id, c.text, c.mode);
        } else if constexpr (std::is_same_v<Kind, LeaveCommand>) {
          game.Leave(c.id);
          output_.Left(c.id);
        } else if constexpr (std::is_same_v<Kind, VanishCommand>) {
          game.Vanish(c.id);
          output_.Vanished(c.id);
        } else if constexpr (std::is_same_v<Kind, UnloadCommand>) {
          if (!host_.PluginLoaded()) throw std::logic_error("unload: no plug-in is loaded");
          host_.UnloadPlugin();
          output_.Unloaded();
        } else {
          throw std::logic_error("this command is not run on the game thread");
        }
      },
      command);
}

int CommandRunner::Quit() {
  if (host_.PluginLoaded()) {
    host_.UnloadPlugin();
    output_.Unloaded();
  }
  int status = 0;
  devhost::TrackingAllocator& allocator = host_.game().Allocator();
  if (allocator.LiveCount() > 0) {
    output_.Leak(allocator.LiveCount(), allocator.LiveBytes());
    status = 1;
  }
  for (const std::string& error : allocator.Errors()) {
    output_.Fault("allocator-error", error);
    status = 1;
  }
  for (const std::string& escaped : host_.EscapedExceptions()) {
    output_.Fault("exception", escaped);
    status = 1;
  }
  for (const std::string& misuse : host_.game().Misuses()) {
    output_.Fault("misuse", misuse);
    status = 1;
  }
  return status;
}

}  // namespace devserver
