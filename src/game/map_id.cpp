#include "game/map_id.h"

#include <set>

#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "game/game_memory.h"
#include "game/game_names.h"
#include "game/game_text.h"

namespace palaverlink {
namespace {

using GetMapNameFn = GameString* (*)(UWorld* self, GameString* result);

constexpr std::string_view kEditorPrefix = "UEDPIE_";

std::string CurrentMapName(UWorld* world) {
  OwnedGameString name;
  host::GameFunction<GetMapNameFn>(game_names::kGetMapName)(world, name.out());
  return GameStringToUtf8(name.get());
}

// Raw names that normalise to nothing and were reported already: an empty id is never sent, and
// the warning is written once rather than at every occasion that asks for the id.
std::set<std::string>& UnusableMapNames() {
  static auto* const reported = new std::set<std::string>();  // never destroyed: see core/guard.cpp
  return *reported;
}

// The id worked out from the world's map name, when none is configured.
std::string& DetectedMapId() {
  static auto* const id = new std::string();  // never destroyed: see core/guard.cpp
  return *id;
}

}  // namespace

void ResetMapId() {
  DetectedMapId().clear();
  UnusableMapNames().clear();
}

const std::string& MapId() { return Settings().MapId.empty() ? DetectedMapId() : Settings().MapId; }

const std::unordered_map<std::string, std::string>& KnownMapIds() {
  static const std::unordered_map<std::string, std::string> ids = {
      {"theisland", "the-island"},    {"thecenter", "the-center"},       {"scorchedearth", "scorched-earth"},
      {"ragnarok", "ragnarok"},       {"aberration", "aberration"},      {"extinction", "extinction"},
      {"valguero", "valguero"},       {"genesis", "genesis-part-1"},     {"gen2", "genesis-part-2"},
      {"genesis2", "genesis-part-2"}, {"crystalisles", "crystal-isles"}, {"lostisland", "lost-island"},
      {"fjordur", "fjordur"},         {"aquatica", "aquatica"},          {"primitiveplus", "primitive-plus"},
  };
  return ids;
}

std::string NormaliseMapName(std::string_view raw_name) {
  std::string name(raw_name);

  if (const auto slash = name.find_last_of("/\\"); slash != std::string::npos) name.erase(0, slash + 1);

  if (name.size() > kEditorPrefix.size() && name.starts_with(kEditorPrefix)) {
    if (const auto underscore = name.find('_', kEditorPrefix.size()); underscore != std::string::npos) {
      name.erase(0, underscore + 1);
    }
  }

  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }

  if (name.size() >= 3 && name.ends_with("_p")) name.resize(name.size() - 2);
  return name;
}

bool EnsureMapId() {
  if (!MapId().empty()) return true;

  UWorld* world = host::CurrentWorld();
  if (world == nullptr) return false;

  const std::string raw_name = CurrentMapName(world);
  if (raw_name.empty()) return false;

  const std::string key = NormaliseMapName(raw_name);
  const auto& known = KnownMapIds();
  const auto row = known.find(key);
  if (row == known.end() && key.empty()) {
    if (UnusableMapNames().insert(raw_name).second) Log().warn(messages::kMapUnknown, raw_name, key);
    return false;
  }
  if (row == known.end()) Log().warn(messages::kMapUnknown, raw_name, key);

  DetectedMapId() = row != known.end() ? row->second : key;
  Log().info(messages::kMapDetected, raw_name, MapId());
  return true;
}

}  // namespace palaverlink
