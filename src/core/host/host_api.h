// The plug-in's one door to the host framework. Nothing else in the plug-in includes the
// framework's headers: a build against another framework replaces this adapter and nothing else.
//
// What holds for every operation here:
// - Thread: call them only on the game thread, that is from Plugin_Init, Plugin_Unload, a hook body,
//   a timer callback or a request completion. The host runs all of those one at a time on the game
//   thread, so the plug-in's state needs no lock; none of these operations blocks.
// - Callbacks (detours, timer callbacks, completions) run on the game thread and must not let an
//   exception out: each runs its work inside one guard (core/guard.h).
// - Commands: RegisterCommand's handler, too, runs only while the load that registered it runs,
//   even should the framework keep it after an unload.
// - Timers: RegisterRecurringTimer's callback runs one interval after registration, then once per
//   interval. The host keeps its own copy and goes on calling it after Plugin_Unload (there is no
//   way to cancel it), as it does with completions still out: the adapter ties each callback to
//   the load that handed it over, and it does nothing once that load has ended.
// - Game buffers: a game string that the game fills in for the plug-in (an out-record such as the
//   result of UWorld.GetMapName) holds a buffer from the game's allocator, and the plug-in gives it
//   back with FMemory.Free; a buffer that the plug-in hands to the game (the chat record of
//   ClientChatMessage) comes from FMemory.Malloc and belongs to the game from the call on; a string
//   the plug-in lends the game by address (the reply to a command) comes from FMemory.Malloc too and
//   goes back with FMemory.Free after the call. Strings the game hands over (a command's text, an
//   RCON packet) stay the game's. Game buffers never go to or come from the C++ runtime's allocator
//   (game/game_memory.h does this).
#pragma once

#include <spdlog/sinks/sink.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/host/host_reply.h"

// The game's objects, opaque here as in game/game_types.h.
struct UWorld;
struct AShooterPlayerController;
struct RCONClientConnection;
struct RCONPacket;

namespace palaverlink::host {

// Completion of a request, with the framework's account of its end read once into a reply
// (core/host/host_reply.h): accepted with the answer, answered with another status and the start
// of the answer, or no answer and why.
using Completion = std::function<void(Reply reply)>;

// Thrown when the game has no function of the given name.
class MissingGameName : public std::runtime_error {
 public:
  explicit MissingGameName(const std::string& name);
};

// Redirects the game's calls of `function_name` to `detour`, which takes the game function's
// arguments. On success returns true and stores in *original an address that runs the game's own
// function (through any detour installed before); the detour calls it to let the game do its part,
// and the slot must live as long as the hook. On failure (no such function) returns false and
// nothing is redirected.
bool InstallHook(const std::string& function_name, void* detour, void** original);
// Undoes InstallHook: later calls run the game's function unhooked. False when `detour` was not
// installed on it. *original keeps its value.
bool RemoveHook(const std::string& function_name, void* detour);

// Where a command came from: its reply goes back the same way (game/command_reply.h).
struct CommandOrigin {
  // The console: the player who typed it (the reply goes to that player alone); null for RCON.
  AShooterPlayerController* player = nullptr;
  // RCON: the connection and the packet it came in (the reply goes back on the connection for the
  // packet's id); null for the console. Both are the game's and good until the handler returns.
  RCONClientConnection* connection = nullptr;
  const RCONPacket* packet = nullptr;
};

using CommandHandler = std::function<void(const CommandOrigin& origin)>;

// Registers `name` ("Plugin.Verb"; the framework matches it case aside) both as a console command,
// run when a player with the console's rights types it, and as an RCON command. The handler runs on
// the game thread each time; until RemoveCommand the framework runs nothing when nobody types it.
void RegisterCommand(const std::string& name, CommandHandler handler);
// Undoes RegisterCommand on both ways in; a name not registered is no error.
void RemoveCommand(const std::string& name);

// A recurring timer: every `interval_seconds` (1 or more: the settings refuse an interval below
// one, whose meaning the framework leaves open), count -1, flag false. The callback, like every
// completion given below, runs only while the load that registered it is running.
void RegisterRecurringTimer(std::function<void()> callback, int interval_seconds);

// Start an asynchronous request and return at once. True: the host took the request and will call
// `completion` exactly once, later (never inside this call), unless the plug-in is unloaded first.
// False: the request never started and its completion never runs; nothing is to be waited for.
// `headers` are whole lines ("Name: value") without line breaks; SendPost sends `body` with the
// content type given. Time-outs and retries are the host's; the plug-in sets none.
bool SendGet(const std::string& url, Completion completion, std::vector<std::string> headers);
bool SendPost(const std::string& url, Completion completion, const std::string& body,
              const std::string& content_type, std::vector<std::string> headers);

// The current world, or null before the game has one. Good until the current entry returns; never
// kept.
UWorld* CurrentWorld();

// The address of a game function; throws MissingGameName when the game has none. Call it with the
// game function's own arguments; string out-records follow the buffer rule above.
void* FunctionAddress(const std::string& name);

template <typename Function>
Function GameFunction(const std::string& name) {
  return reinterpret_cast<Function>(FunctionAddress(name));
}

// The address of a field inside `object`, or null when the game gives none; good as long as
// `object` lives.
void* FieldAddress(const void* object, const std::string& name);

// A copy of the host's shared sink list. The sinks are shared with the host and other plug-ins and
// are safe to use from any thread; the plug-in never changes their pattern or level.
std::vector<spdlog::sink_ptr> LogSinks();
// The server's directory, as the host reports it; the configuration path is appended to it.
std::string CurrentDir();

// Milliseconds since 1970-01-01 00:00 UTC from the system clock, truncated.
std::int64_t SystemTimeMs();

}  // namespace palaverlink::host
