// The plug-in's one logger, over the host's shared sinks, formatting its own lines.
#pragma once

#include <spdlog/logger.h>

#include <memory>
#include <string>

namespace palaverlink {

// Creates the logger `name` over a copy of the host's sink list (replacing an earlier one).
void OpenLogChannel(const std::string& name);

// The logger; a logger that writes nowhere before OpenLogChannel.
spdlog::logger& Log();

// Back to the logger that writes nowhere.
void ResetLogChannel();

}  // namespace palaverlink
