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
        } else if constexpr (std::is_same_v<Kind, ConsoleCommand>) {
          // The reply, if any, comes as a server message to the player (an event of its own).
          if (!game.RunConsoleCommand(c.id, c.text)) output_.UnknownCommand("console", c.text);
        } else if constexpr (std::is_same_v<Kind, RconCommand>) {
          if (!game.RunRconCommand(c.text)) output_.UnknownCommand("rcon", c.text);
        } else if constexpr (std::is_same_v<Kind, UnloadCommand>) {
          if (!host_.PluginLoaded()) throw std::logic_error("unload: no plug-in is loaded");
          host_.UnloadPlugin();
          output_.Unloaded();
        } else if constexpr (std::is_same_v<Kind, LoadCommand>) {
          // The console's load: the library in the plug-in folder, as it stands there.
          if (host_.PluginLoaded()) throw std::logic_error("load: the plug-in is loaded already");
          const devhost::PluginLoadResult loaded = host_.LoadPlugin(host_.PluginFile());
          if (!loaded.loaded) throw std::runtime_error("load: " + loaded.error);
          output_.Loaded();
        } else if constexpr (std::is_same_v<Kind, ReloadCommand>) {
          if (!host_.PluginLoaded()) throw std::logic_error("reload: no plug-in is loaded");
          const std::filesystem::path library =
              c.library.empty() ? plugin_
                                : std::filesystem::path(std::u8string(c.library.begin(), c.library.end()));
          const devhost::PluginLoadResult reloaded = host_.ReloadPlugin(library);
          if (reloaded.loaded || !host_.PluginLoaded()) output_.Unloaded();
          if (!reloaded.loaded) throw std::runtime_error("reload: " + reloaded.error);
          output_.Loaded();
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
  output_.Completions(host_.RequestCompletionTimes());
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
