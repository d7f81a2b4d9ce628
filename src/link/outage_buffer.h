// The outage buffer (OutageBufferLines): chat lines and leave notices that could not reach the bot
// because the link was down are kept, in the order they were said, and sent after the
// reconnection, oldest first and one at a time, before anything said since. Never twice: only a
// request that surely did not reach the bot (Delivery::kNotTaken) is kept; one that may have got
// there (a time-out, a broken connection, a 5xx but 503) is not sent again.
#pragma once

#include <string>

#include "link/bot_request.h"

namespace palaverlink {

// Whether POSTs to `path` go through the buffer: it is on and the path is a chat line or a leave.
bool KeepsWhileDown(const std::string& path);

// Sends a serialised body to `path` through the buffer: kept when the link is down or older kept
// posts are still to go, else sent at once and kept if it fails without reaching the bot.
SendResult PostThroughBuffer(const std::string& path, std::string body);

// Sends the kept posts, one at a time, while the link is up; after the last one, one info line
// says how many were sent and how many were dropped. Called when the link comes back.
void SendKeptPosts();

}  // namespace palaverlink
