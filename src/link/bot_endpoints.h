// The bot's requests: the one list of what the plug-in asks of the bot, each as a method and a path.
// Header only, so that devbot routes and botcheck sends the same requests without linking the plug-in.
#pragma once

#include <string_view>

namespace palaverlink {

enum class HttpMethod { kGet, kPost };

constexpr std::string_view MethodName(HttpMethod method) {
  return method == HttpMethod::kPost ? "POST" : "GET";
}

// What a request asks for: how warnings and guards name it ("POST /api/chat/inbound").
struct Endpoint {
  HttpMethod method = HttpMethod::kGet;
  std::string_view path;  // without the query
};

namespace endpoints {

inline constexpr Endpoint kHealth{HttpMethod::kGet, "/health"};
inline constexpr Endpoint kChatInbound{HttpMethod::kPost, "/api/chat/inbound"};
inline constexpr Endpoint kChatOutbound{HttpMethod::kGet, "/api/chat/outbound"};
inline constexpr Endpoint kSessionsSync{HttpMethod::kPost, "/api/sessions/sync"};
inline constexpr Endpoint kSessionsLeave{HttpMethod::kPost, "/api/sessions/leave"};

}  // namespace endpoints
}  // namespace palaverlink
