#include "core/host/host_reply.h"

#include <utility>

namespace palaverlink::host {
namespace {

// Transport errors (libcurl's words) that come before anything was sent.
constexpr std::string_view kNeverSent[] = {
    "Couldn't resolve host name", "Couldn't resolve proxy name",
    "Couldn't connect to server", "URL using bad/illegal format or missing URL",
    "Unsupported protocol",       "Failed initialization",
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The status named by "HTTP <3 digits>" at the start of the status line; 0 for any other text.
int NamedStatus(std::string_view status_line) {
  constexpr std::string_view kPrefix = "HTTP ";
  if (!status_line.starts_with(kPrefix)) return 0;
  const std::string_view rest = status_line.substr(kPrefix.size());
  if (rest.size() < 3 || !IsDigit(rest[0]) || !IsDigit(rest[1]) || !IsDigit(rest[2])) return 0;
  if (rest.size() > 3 && rest[3] != ' ') return 0;
  return (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
}

}  // namespace

Reply ReadFrameworkReply(bool success, std::string text) {
  Reply reply;
  if (success) {
    reply.kind = ReplyKind::kAccepted;
    reply.body = std::move(text);
    return reply;
  }
  const std::size_t line_end = text.find('\n');
  const int status = NamedStatus(std::string_view(text).substr(0, line_end));
  if (status != 0) {
    reply.kind = ReplyKind::kAnswered;
    reply.status = status;
    if (line_end != std::string::npos) {
      reply.body = text.substr(line_end + 1);
      text.resize(line_end);
    }
    reply.failure = std::move(text);
    return reply;
  }
  reply.kind = ReplyKind::kLost;
  for (const std::string_view never_sent : kNeverSent) {
    if (text == never_sent) reply.kind = ReplyKind::kNotSent;
  }
  reply.failure = std::move(text);
  return reply;
}

}  // namespace palaverlink::host
