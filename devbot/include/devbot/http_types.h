// The bot's view of one HTTP exchange, free of any server library, so that its logic runs in tests
// without sockets.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <string_view>

namespace devbot {

// Header names compare without regard to case, as HTTP wants.
struct CaseInsensitiveLess {
  bool operator()(std::string_view left, std::string_view right) const;
};

using Headers = std::multimap<std::string, std::string, CaseInsensitiveLess>;
using QueryParams = std::map<std::string, std::string>;

struct Request {
  std::string method;  // "GET", "POST", ...
  std::string path;    // without the query
  QueryParams query;   // decoded; the first value of a repeated parameter
  Headers headers;
  std::string body;
  std::string remote_address = "127.0.0.1";
  bool asked_again = false;  // a held poll asking again: not counted as a request of its own
};

struct Response {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  // How long the server waits before sending the answer (the "slow" fault).
  std::chrono::milliseconds delay{0};
  // A poll with waitSeconds that found nothing: the server may hold it this long, asking again
  // whenever a message is queued, and answers the last answer when the time is up.
  std::chrono::milliseconds hold{0};
};

}  // namespace devbot
