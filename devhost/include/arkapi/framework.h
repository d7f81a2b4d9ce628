// The plug-in framework's API as a plug-in sees it: hooks by game-function name, console and RCON
// commands, recurring timers, asynchronous HTTP requests, the current world, addresses of game
// functions and fields by name, the shared log sinks and the server directory.
//
// A plug-in includes this header from one place only (its host adapter) and links against the
// framework library. Game objects are opaque here: a plug-in reaches their functions and fields by
// name through GetAddress and knows only the layouts of the game's plain records.
#pragma once

#include <spdlog/sinks/sink.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(DEVHOST_BUILDING_FRAMEWORK)
#define ARK_API __declspec(dllexport)
#else
#define ARK_API __declspec(dllimport)
#endif
#else
#define ARK_API __attribute__((visibility("default")))
#endif

// Opaque game objects.
struct UWorld;
struct UObject;
struct AController;
struct AShooterPlayerController;
struct AShooterGameMode;
struct APlayerController;
struct UPrimalPlayerData;
struct AShooterCharacter;
struct RCONClientConnection;
struct RCONPacket;
struct FString;

namespace ArkApi {

class IHooks {
 public:
  virtual ~IHooks() = default;

  // Undoes InstallHook: calls of the game function reach whatever ran before the detour.
  virtual bool RemoveHook(const std::string& function_name, void* detour) = 0;

  // From now on calls of the named game function reach `detour`; `*original` receives an address
  // that runs the function as it was before (the game's own function, or an earlier detour).
  virtual bool InstallHook(const std::string& function_name, void* detour, void** original) = 0;
};

class IApiUtils {
 public:
  virtual ~IApiUtils() = default;

  // The world the server runs, or null before one exists.
  virtual UWorld* CurrentWorld() const = 0;
};

// Commands that the game's console and its RCON server run by name (the first word of the text,
// case aside). A callback runs on the game thread; what it throws is the framework's problem, so a
// plug-in catches everything inside. A name taken already is not registered again.
class ICommands {
 public:
  virtual ~ICommands() = default;

  // A player with the console's rights typed the command: the player, the whole text (a game
  // string that stays the game's) and a flag the framework passes on unread.
  using ConsoleCallback = std::function<void(APlayerController*, FString*, bool)>;
  // An RCON client sent the command: its connection, the packet (the game's record, which stays
  // the game's) and the world. The reply goes back with RCONClientConnection.SendMessageW.
  using RconCallback = std::function<void(RCONClientConnection*, RCONPacket*, UWorld*)>;

  virtual void AddConsoleCommand(const std::string& name, const ConsoleCallback& callback) = 0;
  virtual void AddRconCommand(const std::string& name, const RconCallback& callback) = 0;
  // False when no command of that name is registered.
  virtual bool RemoveConsoleCommand(const std::string& name) = 0;
  virtual bool RemoveRconCommand(const std::string& name) = 0;
};

ARK_API IHooks& GetHooks();
ARK_API ICommands& GetCommands();
ARK_API IApiUtils& GetApiUtils();

namespace Tools {
// The server's directory, without a trailing separator.
ARK_API std::string GetCurrentDir();
}  // namespace Tools

}  // namespace ArkApi

namespace API {

class Timer {
 public:
  ARK_API static Timer& Get();

  // Runs `callback` on the game thread every `execution_interval` seconds; `execution_counter` -1
  // repeats it for as long as the plug-in that registered it stays loaded. `async` is accepted for
  // compatibility and has no effect: callbacks always run on the game thread.
  virtual void RecurringExecuteInternal(const std::function<void()>& callback, int execution_interval,
                                        int execution_counter, bool async) = 0;

 protected:
  virtual ~Timer() = default;
};

class Requests {
 public:
  ARK_API static Requests& Get();

  // Completion of a request, run once on the game thread: `success` is true only for an HTTP status
  // in 200..299, and the text is then the response body. Otherwise, for an answer with another
  // status, the text is the status line ("HTTP 401 Unauthorized", or "HTTP 599" for a status without
  // a known reason), followed, when the answer had a body, by one line break ("\n") and the body as
  // it came; without an answer it is the transport's error ("Couldn't connect to server").
  using Completion = std::function<void(bool success, std::string text)>;

  // Both start the request and return at once; false when the request could not be started (the
  // completion then never runs).
  virtual bool CreateGetRequest(const std::string& url, const Completion& completion,
                                std::vector<std::string> headers = {}) = 0;
  virtual bool CreatePostRequest(const std::string& url, const Completion& completion,
                                 const std::string& post_data, const std::string& content_type,
                                 std::vector<std::string> headers = {}) = 0;

 protected:
  virtual ~Requests() = default;
};

}  // namespace API

// The address of a game function by its name ("Class.Member"), or null when the game has none.
ARK_API void* GetAddress(const std::string& name);

// The address of a field ("Class.Field") inside `object`, or null when the game has no such field.
ARK_API void* GetAddress(const void* object, const std::string& name);

// The framework's shared sinks. Each sink writes finished lines: a logger formats its own lines and
// hands the sink the whole text as its payload.
ARK_API std::vector<spdlog::sink_ptr>& GetLogSinks();
