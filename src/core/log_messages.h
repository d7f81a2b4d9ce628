// Every line the plug-in writes, in one place. Lines marked "Debug" are written only when the
// Debug setting is on; the caller checks it right before writing.
#pragma once

namespace palaverlink::messages {

// info
// The last two: " OutboundWaitSeconds=N" and " OutageBufferLines=N" when they are on, else nothing.
inline constexpr char kLoaded[] = "Palaverlink loaded. Bridge={} Map={} Debug={}{}{}";
// error
inline constexpr char kConfigError[] = "Config error: {}";
// warning
inline constexpr char kNotPinned[] =
    "Palaverlink: could not keep its library in memory; unload or reload it only with the server stopped.";
// info
inline constexpr char kMapDetected[] = "Palaverlink detected map '{}' -> MapId '{}'.";
// warning
inline constexpr char kMapUnknown[] =
    "Palaverlink: unknown map '{}' - using MapId '{}'. Set MapId in config.json to override.";
// info, Debug
inline constexpr char kRelaying[] = "Palaverlink: relaying {} chat from '{}': {}";
// info, Debug
inline constexpr char kDroppedPost[] = "Palaverlink: bridge down - dropped POST {}";
// info, Debug
inline constexpr char kPostOk[] = "Palaverlink: POST {} ok";
// warning
inline constexpr char kLostConnection[] =
    "Palaverlink lost connection ({} failed: {}). Going silent - will retry every {}s.";
// warning
inline constexpr char kKeyRejected[] =
    "Palaverlink: the bot rejected our API key (401) on {}. 'ApiKey' in this plugin's config.json must match "
    "'bridgeApiKey' in the bot's config exactly (bot/config/config.json, or the 'Bridge API key' box in the "
    "control panel). Leave BOTH blank to turn auth off. Going silent - will retry every {}s.";
// warning: the bot refused requests (a 4xx status); the link stays up; at most one a minute of each request
inline constexpr char kRefused[] =
    "Palaverlink: the bot refused {} ({}). Dropped; the link stays up. Refused since the last such warning: "
    "{}.";
// info
inline constexpr char kReconnected[] = "Palaverlink reconnected to bot.";
// info, Debug
inline constexpr char kKeptPost[] = "Palaverlink: bridge down - kept POST {} for after the reconnection";
// info: once the outage buffer stands empty again after a line was held back, dropped, given up or late
inline constexpr char kOutageBufferCaughtUp[] =
    "Palaverlink: outage buffer: caught up - {} line(s) delivered, {} refused, {} given up, {} dropped while "
    "full since it last stood empty (OutageBufferLines {}).";
// warning: a waiting post whose fate stayed unknown too often, or that the host would not start
inline constexpr char kOutageBufferGaveUp[] =
    "Palaverlink: outage buffer: gave up on POST {} (Idempotency-Key \"{}\", last failure: {}). Dropped; the "
    "lines after it go on.";
// warning: with the link up, lines dropped because the outage buffer was full; at most one a minute
inline constexpr char kOutageBufferFull[] =
    "Palaverlink: outage buffer full with the link up: dropped {} waiting line(s), oldest first, since the "
    "last such warning (OutageBufferLines {}, at most {} KiB of lines): the bot takes lines more slowly than "
    "they are said.";
// warning: with the link up, lines that waited longer than the bound; at most one a minute
inline constexpr char kOutageBufferLate[] =
    "Palaverlink: outage buffer: {} line(s) waited more than {}s for the bot with the link up since the last "
    "such warning (the oldest {}s, {} line(s) waiting): the bot takes lines more slowly than they are said.";
// warning: the host would not start the requests of the waiting lines; all given up in one pass
inline constexpr char kOutageBufferNotStarted[] =
    "Palaverlink: outage buffer: gave up on {} kept line(s) at once, the first with Idempotency-Key \"{}\" "
    "({}). Dropped; the lines said after them go on.";
// warning: at unload, posts of the outage buffer that will never be sent
inline constexpr char kOutageBufferUnsentAtUnload[] =
    "Palaverlink: outage buffer: unloading with {} kept line(s) not delivered; they are lost.";
// warning
inline constexpr char kOutboundMissingMessages[] = "Palaverlink: outbound response missing 'messages': {}";
// warning
inline constexpr char kOutboundUnparsable[] = "Palaverlink: could not parse outbound response: {}";
// info, Debug
inline constexpr char kOutboundDelivered[] = "Palaverlink: outbound delivered {} message(s)";
// info, Debug
inline constexpr char kOutboundMessage[] = "Palaverlink: outbound {} author='{}' text='{}'";
// info, Debug
inline constexpr char kSessionSync[] = "Palaverlink: session sync - {} player(s) on '{}'";
// info, Debug
inline constexpr char kLoggedOut[] = "Palaverlink: player {} logged out - posting leave";

// warning: an exception caught before it could reach the host
inline constexpr char kUnexpectedFailure[] = "Palaverlink: {} failed unexpectedly: {}";
// warning: malformed elements of one outbound answer, skipped
inline constexpr char kOutboundSkipped[] =
    "Palaverlink: outbound response had {} malformed message(s), skipped: {}";
// warning: at start-up, a hook that the framework would not install; what it would have seen is lost
inline constexpr char kHookNotInstalled[] =
    "Palaverlink: could not hook {} - {} will not reach the bot. Use a version of the plug-in made for "
    "this game and framework.";
// warning: an outbound answer repeated messages the cursor has passed, not shown; once per run
inline constexpr char kOutboundStale[] =
    "Palaverlink: outbound response had {} message(s) with a createdAt not after since={}, not shown: "
    "is the bot ignoring 'since', or sending createdAt in seconds instead of milliseconds? {}";
// warning: elements of an outbound answer beyond the bounds on those without their own time; once per run
inline constexpr char kOutboundDropped[] =
    "Palaverlink: outbound response had {} message(s) that could not be ordered, dropped (a poll takes "
    "at most {} without a usable createdAt, and at most {} sharing one): {}";
// warning: elements of an outbound answer too long to read on the game thread, skipped; once per run
inline constexpr char kOutboundTooLong[] =
    "Palaverlink: outbound response had {} message(s) of more than {} bytes, skipped: {}";

// warning: players' chat lines whose line breaks or control characters were replaced; paced
inline constexpr char kRelayedLineCleaned[] =
    "Palaverlink: {} chat line(s) held line breaks or other control characters, replaced before relaying "
    "(the latest from '{}').";
// warning: outbound messages whose line breaks or control characters were replaced; once per run
inline constexpr char kOutboundControlsReplaced[] =
    "Palaverlink: outbound response had {} message(s) with line breaks or other control characters, "
    "replaced before showing: {}";
// warning: outbound messages with text that is not UTF-8, shown mended; once per run
inline constexpr char kOutboundBrokenText[] =
    "Palaverlink: outbound response had {} message(s) with text that is not UTF-8 ({}), shown with U+FFFD "
    "in its place: {}";
// warning: outbound messages without createdAt, each shown once; once per run
inline constexpr char kOutboundWithoutTime[] =
    "Palaverlink: outbound response had {} message(s) without a createdAt, shown once each (the last {} are "
    "remembered); every message should carry one: {}";
// warning: outbound messages stamped too far ahead to become the cursor, each shown once; once per run
inline constexpr char kOutboundFarAhead[] =
    "Palaverlink: outbound response had {} message(s) stamped more than a day ahead of this server's clock "
    "(createdAt {} at {}), shown once each without moving the cursor: {} {}";
// warning: stamps or answeredAt ahead of the server's clock on arrival; once per run
inline constexpr char kBotClockAhead[] =
    "Palaverlink: the bot's clock is {} s ahead of this server's (a message stamped after it was fetched); "
    "messages still show in order, but keep both clocks right (NTP): {}";
// warning: answeredAt behind the server's clock, the cursor moved to the bot's clock; once per load
inline constexpr char kBotClockBehind[] =
    "Palaverlink: the bot's clock is {} s behind this server's (answeredAt {} at {}); asking from {} on the "
    "bot's clock instead. Keep both clocks right (NTP).";

}  // namespace palaverlink::messages
