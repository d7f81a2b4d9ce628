// What the plug-in would do about each fault botcheck finds: the last part of a FAIL or warning line.
#pragma once

namespace botcheck::consequences {

// What the plug-in does about each kind of fault, as the last part of a FAIL line.
constexpr char kLinkDown[] =
    "the plug-in would take the link down with one warning and go silent (no chat either way, no player "
    "lists) until its next successful health probe";
constexpr char kKeyRejected[] =
    "the plug-in would write its rejected-key warning and go silent until its next successful health probe";
constexpr char kHealthFails[] =
    "the plug-in's health probe would fail, so after any failed request the link would never come back up";
constexpr char kOpenDoor[] =
    "the plug-in would not notice, but anyone who reaches the bot could post chat and player lists";
constexpr char kRefusedNot401[] =
    "the plug-in, given a wrong ApiKey, would drop each request with a 'the bot refused' warning and keep "
    "the link up, instead of the warning that says to fix the key";
constexpr char kLostNot401[] =
    "the plug-in, given a wrong ApiKey, would write 'lost connection' instead of the warning that says to "
    "fix the key";
constexpr char kNotJsonType[] =
    "the plug-in reads the text as JSON whatever the type, but the bot interface answers application/json";
constexpr char kUnparsable[] =
    "the plug-in would write 'could not parse outbound response' (once per run of such answers) and show "
    "nothing";
constexpr char kMissingMessages[] =
    "the plug-in would write 'outbound response missing 'messages'' (once per run of such answers) and show "
    "nothing";
constexpr char kBadElement[] =
    "the plug-in would skip such messages (or show them wrongly) with one warning per run of such answers";
constexpr char kWrongUnit[] =
    "the plug-in shows only messages created after its cursor, in milliseconds since 1970: a time in "
    "seconds is never shown (its warning names seconds), a time far ahead hides every message until then";
constexpr char kTwinTimes[] =
    "the plug-in asks for messages after the greatest createdAt it saw: of two that share one, the second "
    "is lost when they come in different polls";
constexpr char kSinceIgnored[] =
    "the plug-in would not show them again (it drops a message not created after its cursor, with one "
    "warning that names since), but every poll would carry them all again";
constexpr char kEchoed[] =
    "the plug-in would show the line a second time on the map where the game already showed it";
constexpr char kStoredTwice[] =
    "the plug-in resends a post whose answer was lost with the same key (outage buffer on), and its HTTP "
    "client may repeat one: such a line would reach the players twice. Remember the keys taken for 10 "
    "minutes (or the last 10,000) and answer a repeat with the same 2xx without storing it";
constexpr char kRepeatNot2xx[] =
    "a line the plug-in resends after a lost answer would not count as delivered";
constexpr char kNotHonoured[] =
    "the plug-in allows this and polls at its usual pace (OutboundPollSeconds), so bot messages reach the "
    "players up to that much later than with a held poll";
constexpr char kSlowWakeUp[] =
    "the plug-in would show every bot message that much late on each long poll: set TCP_NODELAY on the bot's "
    "sockets, or write each answer (status line, headers and body) in one piece, so that Nagle's algorithm "
    "does not hold its end back until the client's delayed ACK (about 40 ms)";
constexpr char kSlow[] =
    "the plug-in keeps one poll out at a time: every bot message would reach the players late";
constexpr char kHeldTooLong[] =
    "the plug-in's host gives up on a request after 10 s, little more than the largest waitSeconds (5): a "
    "poll held past waitSeconds would time out and take the link down";
constexpr char kTooLarge[] =
    "the plug-in's host reads an answer whole into the game server's memory; keep answers small (a poll "
    "shows at most 8 messages anyway)";
constexpr char kClockSkew[] =
    "the plug-in starts asking from the server's time and then follows the bot's stamps: a bot behind shows "
    "nothing for that long after each start of the server (unless its answers carry answeredAt, its own "
    "clock), a bot ahead is named in the server's log, and stamps more than a day ahead are shown once "
    "without moving the cursor. Set the bot's clock right (NTP)";
// The refusal of one request (a 4xx but 401, 408, 429): what the plug-in does, then what is lost.
constexpr char kRefusedPrefix[] =
    "the plug-in would drop the request with one warning ('the bot refused ...') and keep the link up: ";
constexpr char kLineLost[] = "that chat line would never reach the bot";
constexpr char kListLost[] = "the bot would not learn who is playing";
constexpr char kLeaveLost[] = "the bot would not learn of the logout";
constexpr char kPollLost[] = "no bot message would reach the players of the map";

}  // namespace botcheck::consequences
