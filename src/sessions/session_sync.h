// The list of connected players for the bot, with each player's session start: every interval,
// and soon after a join (sessions/sync_schedule.h).
#pragma once

#include <cstdint>

namespace palaverlink {

// A player logged out: forgotten, so that a return gets a new session start.
void ForgetSessionStart(std::uint64_t platform_id);
// Forgets every session start and every sync asked for or out.
void ResetSessionStarts();

// A player joined at `now_ms`: the session starts then (also for one back without a logout), and
// the list goes at the next second's tick.
void NoteJoin(std::uint64_t platform_id, std::int64_t now_ms);

// The interval's run: lists the connected players (a new player's start is now), forgets the
// starts of players no longer connected, and posts the list; while a sync is out, the list goes
// once that one is answered. Throws what the game throws; the timer's guard catches.
void SyncSessions();

// The one-second tick: sends the list asked for (after a join, at start-up) unless one is out.
void SyncSessionsIfAsked();

// Registers the interval's timer ("session sync") and the one-second tick ("session sync soon").
void StartSessionSync(int interval_seconds);

}  // namespace palaverlink
