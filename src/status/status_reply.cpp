#include "status/status_reply.h"

#include <fmt/chrono.h>
#include <fmt/format.h>

#include <algorithm>
#include <ctime>
#include <string_view>

#include "chat/chat_hook.h"
#include "chat/outbound_poll_state.h"
#include "core/log_text.h"
#include "core/settings.h"
#include "core/utf8_boundary.h"
#include "game/map_id.h"
#include "link/health_probe.h"
#include "link/link_state.h"
#include "link/outbox.h"
#include "link/post_json.h"

namespace palaverlink {
namespace {

// A failure text is the host's, but may quote the bot; a line of the reply stays short.
constexpr std::size_t kLongestReason = 200;

struct RequestKind {
  const char* name;
  const char* request;  // as Describe names it
};
constexpr RequestKind kRequestKinds[] = {{"chat", "POST /api/chat/inbound"},
                                         {"leave", "POST /api/sessions/leave"},
                                         {"sync", "POST /api/sessions/sync"},
                                         {"poll", "GET /api/chat/outbound"}};

std::string UtcTime(std::int64_t ms) {
  const auto seconds = static_cast<std::time_t>(ms / 1000);
  return fmt::format("{:%Y-%m-%d %H:%M:%S} UTC", fmt::gmtime(seconds));
}

// "12 s", "5 min", "3 h": exact enough to read at a glance.
std::string Span(std::int64_t ms) {
  const std::int64_t seconds = std::max<std::int64_t>(0, ms) / 1000;
  if (seconds < 120) return fmt::format("{} s", seconds);
  if (seconds < 120 * 60) return fmt::format("{} min", seconds / 60);
  return fmt::format("{} h", seconds / 3600);
}

// Escaped as in the log, and cut short without splitting a UTF-8 sequence.
std::string Shown(std::string_view text) {
  const std::size_t keep = WholeCharactersWithin(text, kLongestReason);
  if (keep < text.size()) return EscapeControlCharacters(text.substr(0, keep)) + "...";
  return EscapeControlCharacters(text);
}

std::string LinkLine(std::int64_t now_ms) {
  const LinkStateData& link = LinkState();
  if (!link.bridgeDown) return fmt::format("link: up since {}", UtcTime(link.changedAtMs));
  return fmt::format("link: down since {} ({} ago): {}; next probe in {}", UtcTime(link.changedAtMs),
                     Span(now_ms - link.changedAtMs), Shown(link.downBecause),
                     Span(NextProbeAtMs() - now_ms));
}

std::string LastSuccessLine(std::int64_t now_ms) {
  std::string line = "last success:";
  const auto& last = LinkState().lastSuccessMs;
  for (const RequestKind& kind : kRequestKinds) {
    const auto found = last.find(std::string_view(kind.request));
    line += fmt::format("{} {} {}", line.back() == ':' ? "" : ",", kind.name,
                        found == last.end() ? "never" : Span(now_ms - found->second) + " ago");
  }
  return line;
}

std::string CountsLine(std::int64_t loaded_at_ms) {
  const OutboxRecord& box = Outbox();
  const OutboundCounts& outbound = OutboundPollState().counts;
  return fmt::format(
      "since load ({}): lines {} relayed, {} refused, {} given up, {} dropped; messages {} shown, {} "
      "skipped, {} mended; {} polls",
      UtcTime(loaded_at_ms), RelayedChatLines(), LinkState().refused, box.sinceLoad.gaveUp,
      box.sinceLoad.dropped + DroppedWhileDown(), outbound.shown, outbound.skipped, outbound.mended,
      outbound.polls);
}

std::string OutboxLine(std::int64_t now_ms) {
  if (Settings().OutageBufferLines <= 0) return "outbox: off";
  const OutboxRecord& box = Outbox();
  if (box.posts.empty()) return "outbox: empty";
  return fmt::format("outbox: {} line(s), {} byte(s) waiting, the oldest for {}", box.lines, box.lineBytes,
                     Span(now_ms - box.posts.front().putInMs));
}

std::string SettingsLine() {
  const PluginSettings& settings = Settings();
  std::string relayed;
  for (const auto& [on, name] :
       {std::pair{settings.RelayGlobalChat, "global"}, std::pair{settings.RelayTribeChat, "tribe"},
        std::pair{settings.RelayAllianceChat, "alliance"}}) {
    if (on) relayed += relayed.empty() ? name : std::string(",") + name;
  }
  return fmt::format(
      "settings: BridgeUrl={} ApiKey={} MapId={} SyncIntervalSeconds={} OutboundPollSeconds={} Relay={} "
      "Debug={} OutboundWaitSeconds={} OutageBufferLines={}",
      Shown(settings.BridgeUrl), settings.ApiKey.empty() ? "none" : "set",
      settings.MapId.empty() ? "<auto-detect>" : Shown(settings.MapId), settings.SyncIntervalSeconds,
      settings.OutboundPollSeconds, relayed.empty() ? "none" : relayed, settings.Debug ? "on" : "off",
      settings.OutboundWaitSeconds, settings.OutageBufferLines);
}

}  // namespace

std::string StatusReply(std::int64_t now_ms, std::int64_t loaded_at_ms) {
  const std::string& map_id = MapId();
  return fmt::format("Palaverlink {} on map {}\n{}\n{}\n{}\n{}\n{}", PALAVERLINK_VERSION,
                     map_id.empty() ? "not known yet" : Shown(map_id), LinkLine(now_ms),
                     LastSuccessLine(now_ms), CountsLine(loaded_at_ms), OutboxLine(now_ms), SettingsLine());
}

}  // namespace palaverlink
