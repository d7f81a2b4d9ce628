#include "plugin_reset.h"

#include "chat/chat_hook.h"
#include "chat/outbound_poll.h"
#include "chat/outbound_poll_state.h"
#include "core/guard.h"
#include "core/log_channel.h"
#include "core/settings.h"
#include "game/map_id.h"
#include "link/idempotency_key.h"
#include "link/link_state.h"
#include "link/outage_buffer.h"
#include "link/post_json.h"
#include "sessions/join_hook.h"
#include "sessions/logout_hook.h"
#include "sessions/session_sync.h"

namespace palaverlink {

void ResetPluginState() {
  ResetSettings();
  ResetLogChannel();
  ResetGuards();
  ResetOutboundPoll();
  ResetOutboundPollState();
  ResetLinkState();
  ResetOutageBuffer();
  ResetIdempotencyKeys();
  ResetMapId();
  ResetSessionStarts();
  ResetGameChatHandler();
  ResetGameLogoutHandler();
  ResetGameNewPlayerHandler();
  ResetRelayedChatLines();
  ResetDroppedWhileDown();
}

}  // namespace palaverlink
