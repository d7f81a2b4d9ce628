// The periodic list of connected players for the bot, with each player's session start.
#pragma once

#include <cstdint>
#include <unordered_map>

namespace palaverlink {

// Platform id -> session start (milliseconds since 1970-01-01 00:00 UTC).
std::unordered_map<std::uint64_t, std::int64_t>& SessionStarts();
// Forgets every session start.
void ResetSessionStarts();

// One run: lists the connected players (a new player's start is now), forgets the starts of players
// no longer connected, and posts the list. Throws what the game throws; the timer's guard catches.
void SyncSessions();

}  // namespace palaverlink
