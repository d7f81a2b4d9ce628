// The console and RCON command Palaverlink.Status: registered at start-up, removed at unload.
// Until someone runs it, it costs the game thread nothing.
#pragma once

namespace palaverlink {

inline constexpr char kStatusCommand[] = "Palaverlink.Status";

// Registers the command for this load.
void StartStatusCommand();
// Removes it.
void StopStatusCommand();

}  // namespace palaverlink
