// Reason phrases of the HTTP status codes, for failure texts such as "HTTP 401 Unauthorized".
#pragma once

#include <string>

namespace devhost {

// "HTTP <status> <reason>", or "HTTP <status>" for a status without a known reason.
std::string HttpStatusText(long status);

}  // namespace devhost
