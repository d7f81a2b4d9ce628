// What Palaverlink.Status answers: a few short lines on the version and the map, the link, when
// each request last succeeded, the counts since the load, the outbox and the settings in force.
// It reads what each module keeps; no request, no disk, and work bounded by the few kinds of
// request.
#pragma once

#include <cstdint>
#include <string>

namespace palaverlink {

// The lines, separated by '\n', at `now_ms` for a load that began at `loaded_at_ms` (both
// milliseconds since 1970). Texts that came from outside are escaped as in the log.
std::string StatusReply(std::int64_t now_ms, std::int64_t loaded_at_ms);

}  // namespace palaverlink
