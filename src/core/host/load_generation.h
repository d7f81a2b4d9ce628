// Every load of the plug-in (one Plugin_Init up to its Plugin_Unload) is a generation of its own.
// The framework keeps the timers and request completions of a plug-in after it is unloaded and
// goes on calling them, also after the plug-in is loaded again in the same process; each callback
// the adapter hands out is therefore tied to the generation that made it, and does nothing once
// that generation has ended.
#pragma once

#include <cstdint>

namespace palaverlink::host {

using LoadGeneration = std::uint64_t;

// Starts a new generation (ending the one before): callbacks handed out from now on belong to it.
void BeginLoad() noexcept;
// Ends the running generation: every callback handed out so far goes inert.
void EndLoad() noexcept;
// The running generation; 0 between a Plugin_Unload and the next Plugin_Init.
LoadGeneration CurrentLoad() noexcept;
bool IsRunningLoad(LoadGeneration generation) noexcept;

}  // namespace palaverlink::host
