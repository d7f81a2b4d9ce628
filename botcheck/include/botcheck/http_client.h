// Blocking HTTP requests as the plug-in's host makes them: the headers given and nothing else, no
// redirects followed, no proxy, one time-out for the whole exchange.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace botcheck {

struct HttpAnswer {
  bool reached = false;     // an HTTP answer came back; false: `error` says why not
  std::string error;        // the transport's reason when not reached
  long status = 0;          // HTTP status when reached
  std::string contentType;  // as the bot sent it, empty when absent
  std::string body;
  std::chrono::milliseconds elapsed{0};

  // What the plug-in's host counts as success: an answer with a 2xx status.
  bool Succeeded() const { return reached && status >= 200 && status < 300; }
  // The failure text the host would hand over: "HTTP 401" or the transport's reason.
  std::string FailureText() const;
};

struct HttpRequest {
  std::string method;  // "GET" or "POST"
  std::string url;
  std::vector<std::string> headers;  // whole lines, "Name: value"
  std::string body;                  // POST only
  std::chrono::seconds timeout{10};
};

HttpAnswer Send(const HttpRequest& request);

}  // namespace botcheck
