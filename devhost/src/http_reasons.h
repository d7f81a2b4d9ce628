// Reason phrases of the HTTP status codes, for failure texts such as "HTTP 401 Unauthorized".
#pragma once

#include <string>
#include <string_view>

namespace devhost {

// "HTTP <status> <reason>", or "HTTP <status>" for a status without a known reason.
std::string HttpStatusText(long status);

// The framework's failure text for an answer with a status outside 2xx: the status text, then a
// line break and the body when there is one.
std::string HttpFailureText(long status, std::string_view body);

}  // namespace devhost
