// Keeps the plug-in's library in memory for the rest of the process. The framework frees a
// plug-in's library at unload while the timers and requests it was given go on calling their
// callbacks; with the library pinned those callbacks still find their code (and return at once,
// see load_generation.h).
#pragma once

namespace palaverlink::host {

// Pins the library that holds this code; false when the system refused. Pinning again is harmless.
bool PinLibrary() noexcept;

}  // namespace palaverlink::host
