#include "http_reasons.h"

#include <string_view>
#include <utility>

namespace devhost {
namespace {

constexpr std::pair<long, std::string_view> kReasons[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {204, "No Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {413, "Payload Too Large"},
    {414, "URI Too Long"},
    {415, "Unsupported Media Type"},
    {422, "Unprocessable Entity"},
    {429, "Too Many Requests"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

}  // namespace

std::string HttpStatusText(long status) {
  std::string text = "HTTP " + std::to_string(status);
  for (const auto& [code, reason] : kReasons) {
    if (code == status) {
      text += ' ';
      text += reason;
      break;
    }
  }
  return text;
}

std::string HttpFailureText(long status, std::string_view body) {
  std::string text = HttpStatusText(status);
  if (!body.empty()) {
    text += '\n';
    text += body;
  }
  return text;
}

}  // namespace devhost
