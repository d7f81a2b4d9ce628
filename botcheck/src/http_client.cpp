#include "botcheck/http_client.h"

#include <curl/curl.h>

#include <mutex>

namespace botcheck {
namespace {

struct BodySink {
  std::string* body;
  bool too_large = false;
};

// Stops the transfer (a write error) once the body would pass the cap.
std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<BodySink*>(user);
  const std::size_t bytes = size * count;
  if (sink->body->size() + bytes > kLargestBody) {
    sink->too_large = true;
    return 0;
  }
  sink->body->append(data, bytes);
  return bytes;
}

// Errors that come before anything was sent.
bool NeverSent(CURLcode code) {
  return code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
         code == CURLE_COULDNT_CONNECT || code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL ||
         code == CURLE_FAILED_INIT;
}

}  // namespace

struct HttpClient::Handle {
  CURL* easy = curl_easy_init();
  ~Handle() {
    if (easy != nullptr) curl_easy_cleanup(easy);
  }
};

HttpClient::HttpClient() {
  static std::once_flag global_init;
  std::call_once(global_init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  handle_ = std::make_unique<Handle>();
}

HttpClient::~HttpClient() = default;

palaverlink::host::Reply HttpAnswer::AsHostReply() const {
  using palaverlink::host::ReplyKind;
  palaverlink::host::Reply reply;
  if (!reached) {
    reply.kind = never_sent ? ReplyKind::kNotSent : ReplyKind::kLost;
    reply.failure = error;
    return reply;
  }
  reply.body = body;
  if (Succeeded()) {
    reply.kind = ReplyKind::kAccepted;
    return reply;
  }
  reply.kind = ReplyKind::kAnswered;
  reply.status = static_cast<int>(status);
  reply.failure = "HTTP " + std::to_string(status);
  return reply;
}

HttpAnswer HttpClient::Send(const HttpRequest& request) {
  HttpAnswer answer;
  CURL* easy = handle_->easy;
  if (easy == nullptr) {
    answer.error = palaverlink::host::kNotStartedText;
    answer.never_sent = true;
    return answer;
  }
  curl_easy_reset(easy);
  curl_slist* headers = nullptr;
  for (const std::string& line : request.headers) headers = curl_slist_append(headers, line.c_str());
  if (request.method == "POST") {
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  }
  BodySink sink{&answer.body};
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count() * 1000));
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);

  const auto started = std::chrono::steady_clock::now();
  const CURLcode code = curl_easy_perform(easy);
  answer.finished = std::chrono::steady_clock::now();
  answer.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(answer.finished - started);
  curl_slist_free_all(headers);
  if (code != CURLE_OK && !sink.too_large) {
    answer.error = curl_easy_strerror(code);
    answer.never_sent = NeverSent(code);
    answer.body.clear();
    return answer;
  }
  answer.reached = true;
  answer.too_large = sink.too_large;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
  curl_off_t length = -1;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (sink.too_large && length > 0) answer.announced = static_cast<std::uint64_t>(length);
  char* content_type = nullptr;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &content_type);
  if (content_type != nullptr) answer.contentType = content_type;
  return answer;
}

}  // namespace botcheck
