#include "sessions/session_sync.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/guard.h"
#include "core/host/host_api.h"
#include "core/log_channel.h"
#include "core/log_messages.h"
#include "core/settings.h"
#include "game/map_id.h"
#include "game/player.h"
#include "link/post_json.h"
#include "sessions/sync_schedule.h"

namespace palaverlink {
namespace {

constexpr int kSoonTickSeconds = 1;

SyncSchedule& Schedule() {
  static auto* const schedule = new SyncSchedule();  // never destroyed: see core/guard.cpp
  return *schedule;
}

// Platform id -> session start (milliseconds since 1970-01-01 00:00 UTC).
std::unordered_map<std::uint64_t, std::int64_t>& SessionStarts() {
  // Never destroyed: see core/guard.cpp.
  static auto* const starts = new std::unordered_map<std::uint64_t, std::int64_t>();
  return *starts;
}

// The player's session start: from the join, or, for one there before the load, from the first run
// that listed the player; kept from then on.
std::int64_t SessionStartOf(std::uint64_t platform_id) {
  auto& starts = SessionStarts();
  auto found = starts.find(platform_id);
  if (found != starts.end()) return found->second;
  const std::int64_t now = host::SystemTimeMs();
  starts.emplace(platform_id, now);
  return now;
}

// Players no longer connected are forgotten, so one who vanished without a logout gets a new start
// when back.
void ForgetAllBut(std::vector<std::uint64_t>& connected) {
  auto& starts = SessionStarts();
  std::sort(connected.begin(), connected.end());
  connected.erase(std::unique(connected.begin(), connected.end()), connected.end());
  // Every connected player has an entry by now, so equal sizes mean nothing else is left.
  if (starts.size() == connected.size()) return;
  std::erase_if(starts, [&connected](const auto& entry) {
    return !std::binary_search(connected.begin(), connected.end(), entry.first);
  });
}

// Lists the players and posts the list; nothing while the map or the world is unknown.
void RunSync() {
  if (!EnsureMapId()) return;
  if (host::CurrentWorld() == nullptr) return;

  nlohmann::json players = nlohmann::json::array();
  std::vector<std::uint64_t> connected;
  ForEachPlayerController([&players, &connected](AShooterPlayerController* controller) {
    const std::uint64_t platform_id = GetPlatformId(controller);
    if (platform_id == 0) return;
    connected.push_back(platform_id);
    const std::int64_t started_at = SessionStartOf(platform_id);
    nlohmann::json player = nlohmann::json::object();
    player["platformId"] = PlatformIdText(platform_id);
    player["playerName"] = GetCharacterName(controller);
    player["steamName"] = GetAccountName(controller);
    player["tribeName"] = GetTribeName(controller);
    player["sessionStartedAt"] = started_at;
    players.push_back(std::move(player));
  });

  ForgetAllBut(connected);

  if (Settings().Debug) Log().info(messages::kSessionSync, players.size(), MapId());
  nlohmann::json body = nlohmann::json::object();
  body["mapId"] = MapId();
  body["players"] = std::move(players);
  const std::uint64_t sequence = Schedule().NextSequence();
  if (PostJson(endpoints::kSessionsSync, body, IfUndelivered::kDrop,
               [sequence] { Schedule().Answered(sequence); })) {
    Schedule().Sent();
  } else {
    Schedule().RanWithoutRequest();
  }
}

}  // namespace

void ForgetSessionStart(std::uint64_t platform_id) { SessionStarts().erase(platform_id); }

void ResetSessionStarts() {
  SessionStarts().clear();
  Schedule() = SyncSchedule{};
}

void NoteJoin(std::uint64_t platform_id, std::int64_t now_ms) {
  if (platform_id == 0) return;
  SessionStarts().insert_or_assign(platform_id, now_ms);
  Schedule().Ask();
}

void SyncSessions() {
  if (Schedule().Out()) {
    Schedule().Ask();
    return;
  }
  RunSync();
}

void SyncSessionsIfAsked() {
  SyncSchedule& schedule = Schedule();
  schedule.SecondPassed();
  if (schedule.Asked() && !schedule.Out()) RunSync();
}

void StartSessionSync(int interval_seconds) {
  host::RegisterRecurringTimer([] { RunGuarded("session sync", [] { SyncSessions(); }); }, interval_seconds);
  host::RegisterRecurringTimer([] { RunGuarded("session sync soon", [] { SyncSessionsIfAsked(); }); },
                               kSoonTickSeconds);
}

}  // namespace palaverlink
