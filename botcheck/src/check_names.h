// The names of botcheck's checks, as printed: one list, so that --help, the run and the guide agree.
#pragma once

namespace botcheck::check_names {

// In the order CheckNames prints them; the three key checks only with --api-key.
constexpr char kHealth[] = "GET /health without a key answers 2xx";
constexpr char kHealthWithKey[] = "GET /health with the key answers 2xx";
constexpr char kPostWithoutKey[] = "POST /api/chat/inbound without the key is refused with 401";
constexpr char kPollWrongKey[] = "GET /api/chat/outbound with a wrong key is refused with 401";
constexpr char kFirstPoll[] = "GET /api/chat/outbound, first poll of the map (since = now): answers 2xx";
constexpr char kGlobalLine[] = "POST /api/chat/inbound (global line, no tribe, non-ASCII text) answers 2xx";
constexpr char kTribeLine[] = "POST /api/chat/inbound (tribe line) answers 2xx";
constexpr char kAllianceLine[] = "POST /api/chat/inbound (alliance line) answers 2xx";
constexpr char kNeighbourLine[] = "POST /api/chat/inbound from a second map answers 2xx";
constexpr char kSyncTwo[] = "POST /api/sessions/sync (two players, largest platform id) answers 2xx";
constexpr char kSyncNone[] = "POST /api/sessions/sync (no players) answers 2xx";
constexpr char kLeave[] = "POST /api/sessions/leave answers 2xx";
constexpr char kPolls[] = "GET /api/chat/outbound, every later poll: answers 2xx";
constexpr char kJsonType[] = "GET /api/chat/outbound: Content-Type application/json";
constexpr char kShape[] = "GET /api/chat/outbound: a JSON object with a \"messages\" array";
constexpr char kElements[] = "every message has createdAt, author, message, kind (and sourceMapName)";
constexpr char kUnit[] = "createdAt in milliseconds since 1970";
constexpr char kUnique[] = "createdAt differs between the messages of a map";
constexpr char kSince[] = "only messages created after since";
constexpr char kEcho[] = "a line never comes back to the map it was said on";
constexpr char kRepeat[] = "a post sent again with its Idempotency-Key answers 2xx and is not stored twice";
constexpr char kHeld[] = "long poll (waitSeconds=2): a poll with nothing to answer is held at most 2 s";
constexpr char kWakeUp[] =
    "long poll: a line said on the second map during a held poll reaches this map within 20 ms";
constexpr char kSpeed[] = "every answer within 3 s";
constexpr char kClock[] = "the createdAt of a relayed line is within 5 s of this machine's clock";

}  // namespace botcheck::check_names
