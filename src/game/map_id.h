// The map's id: configured, or worked out from the world's map name on first use.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace palaverlink {

// The configured id, or the one worked out from the map name; empty until known.
const std::string& MapId();

// True when MapId holds the id; false while there is no world or map name yet (the caller skips
// its work for this occasion).
bool EnsureMapId();

// Forgets the id worked out and the map names that gave no usable one, so the next is reported
// again.
void ResetMapId();

// The lookup key for a raw map name: directory cut, editor prefix cut, lower-cased, "_p" cut.
std::string NormaliseMapName(std::string_view raw_name);

const std::unordered_map<std::string, std::string>& KnownMapIds();

}  // namespace palaverlink
