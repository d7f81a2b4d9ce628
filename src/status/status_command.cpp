#include "status/status_command.h"

#include <cstdint>

#include "core/guard.h"
#include "core/host/host_api.h"
#include "game/command_reply.h"
#include "status/status_reply.h"

namespace palaverlink {
namespace {

std::int64_t loaded_at_ms = 0;

}  // namespace

void StartStatusCommand() {
  loaded_at_ms = host::SystemTimeMs();
  host::RegisterCommand(kStatusCommand, [](const host::CommandOrigin& origin) {
    RunGuarded("status command",
               [&origin] { SendCommandReply(origin, StatusReply(host::SystemTimeMs(), loaded_at_ms)); });
  });
}

void StopStatusCommand() { host::RemoveCommand(kStatusCommand); }

}  // namespace palaverlink
