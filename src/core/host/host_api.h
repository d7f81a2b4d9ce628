// The plug-in's one door to the host framework. Nothing else in the plug-in includes the
// framework's headers: a build against another framework replaces this adapter and nothing else.
#pragma once

#include <spdlog/sinks/sink.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/game_types.h"

namespace palaverlink::host {

// Completion of a request: run once, on the game thread.
using Completion = std::function<void(bool success, std::string text)>;

// Thrown when the game has no function of the given name.
class MissingGameName : public std::runtime_error {
 public:
  explicit MissingGameName(const std::string& name);
};

bool InstallHook(const std::string& function_name, void* detour, void** original);
bool RemoveHook(const std::string& function_name, void* detour);

// A recurring timer: every `interval_seconds`, count -1, flag false. The callback, like every
// completion given below, runs only while the load that registered it is running.
void RegisterRecurringTimer(std::function<void()> callback, int interval_seconds);

bool SendGet(const std::string& url, Completion completion, std::vector<std::string> headers);
bool SendPost(const std::string& url, Completion completion, const std::string& body,
              const std::string& content_type, std::vector<std::string> headers);

UWorld* CurrentWorld();

// The address of a game function; throws MissingGameName when the game has none.
void* FunctionAddress(const std::string& name);

template <typename Function>
Function GameFunction(const std::string& name) {
  return reinterpret_cast<Function>(FunctionAddress(name));
}

// The address of a field inside `object`, or null when the game gives none.
void* FieldAddress(const void* object, const std::string& name);

std::vector<spdlog::sink_ptr> LogSinks();
std::string CurrentDir();

// Milliseconds since 1970-01-01 00:00 UTC from the system clock, truncated.
std::int64_t SystemTimeMs();

}  // namespace palaverlink::host
