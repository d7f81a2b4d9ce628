// Checks on a request's envelope: the bearer key, the content type, where it comes from.
#pragma once

#include <string>
#include <string_view>

#include "devbot/http_types.h"

namespace devbot {

// True when the request carries exactly one Authorization header reading "Bearer " + key.
bool HasBearerKey(const Headers& headers, const std::string& key);

// True when the Content-Type's media type is application/json (parameters such as charset allowed).
bool IsJsonContentType(const Headers& headers);

// True for 127.0.0.0/8, ::1 and IPv4-mapped loopback addresses.
bool IsLoopbackAddress(std::string_view address);

}  // namespace devbot
