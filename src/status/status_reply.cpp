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
#include "link/bot_endpoints.h"
#include "link/health_probe.h"
#include "link/link_state.h"
#include "link/outage_buffer.h"
#include "link/post_json.h"

namespace palaverlink {
namespace {

// A failure text is the host's, but may quote the bot; a line of the reply stays short.
constexpr std::size_t kLongestReason = 200;

struct RequestKind {
  const char* name;
  Endpoint endpoint;
};
constexpr RequestKind kRequestKinds[] = {{"chat", endpoints::kChatInbound},
                                         {"leave", endpoints::kSessionsLeave},
                                         {"sync", endpoints::kSessionsSync},
                                         {"poll", endpoints::kChatOutbound}};

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
  const std::int64_t changed_at = LinkChangedAtMs();
  if (!LinkIsDown()) return fmt::format("link: up since {}", UtcTime(changed_at));
  return fmt::format("link: down since {} ({} ago): {}; next probe in {}", UtcTime(changed_at),
                     Span(now_ms - changed_at), Shown(LinkDownBecause()), Span(NextProbeAtMs() - now_ms));
}

std::string LastSuccessLine(std::int64_t now_ms) {
  std::string line = "last success:";
  for (const RequestKind& kind : kRequestKinds) {
    const auto last = LastSuccessMs(Describe(kind.endpoint));
    line += fmt::format("{} {} {}", line.back() == ':' ? "" : ",", kind.name,
                        last ? Span(now_ms - *last) + " ago" : "never");
  }
  return line;
}

std::string CountsLine(std::int64_t loaded_at_ms) {
  const OutageBufferSummary buffer = SummariseOutageBuffer();
  const OutboundCounts outbound = OutboundCountsSinceLoad();
  return fmt::format(
      "since load ({}): lines {} relayed, {} refused, {} given up, {} dropped; messages {} shown, {} "
      "skipped, {} mended; {} polls",
      UtcTime(loaded_at_ms), RelayedChatLines(), RefusedSinceLoad(), buffer.gaveUpSinceLoad,
      buffer.droppedSinceLoad + DroppedWhileDown(), outbound.shown, outbound.skipped, outbound.mended,
      outbound.polls);
}

// "outbox": the reply's label for the buffer, as docs/admin.md shows it.
std::string OutageBufferLine(std::int64_t now_ms) {
  if (Settings().OutageBufferLines <= 0) return "outbox: off";
  const OutageBufferSummary buffer = SummariseOutageBuffer();
  if (!buffer.oldestPutInMs) return "outbox: empty";
  return fmt::format("outbox: {} line(s), {} byte(s) waiting, the oldest for {}", buffer.lines,
                     buffer.lineBytes, Span(now_ms - *buffer.oldestPutInMs));
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
      MapId().empty() ? "<auto-detect>" : Shown(MapId()), settings.SyncIntervalSeconds,
      settings.OutboundPollSeconds, relayed.empty() ? "none" : relayed, settings.Debug ? "on" : "off",
      settings.OutboundWaitSeconds, settings.OutageBufferLines);
}

}  // namespace

std::string StatusReply(std::int64_t now_ms, std::int64_t loaded_at_ms) {
  const std::string& map_id = MapId();
  return fmt::format("Palaverlink {} on map {}\n{}\n{}\n{}\n{}\n{}", PALAVERLINK_VERSION,
                     map_id.empty() ? "not known yet" : Shown(map_id), LinkLine(now_ms),
                     LastSuccessLine(now_ms), CountsLine(loaded_at_ms), OutageBufferLine(now_ms),
                     SettingsLine());
}

}  // namespace palaverlink
