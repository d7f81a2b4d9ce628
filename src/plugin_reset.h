// The whole plug-in back to its load-time values: each module's reset, in one call. Plugin_Init
// starts from here, since a load after an unload finds the earlier load's values still in the
// library's statics; so does a test that drives the modules directly.
#pragma once

namespace palaverlink {

void ResetPluginState();

}  // namespace palaverlink
