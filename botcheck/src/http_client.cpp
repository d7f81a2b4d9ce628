#include "botcheck/http_client.h"

#include <curl/curl.h>

#include <mutex>

namespace botcheck {
namespace {

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

struct CurlHandles {
  CURL* easy = curl_easy_init();
  curl_slist* headers = nullptr;
  CurlHandles() = default;
  CurlHandles(const CurlHandles&) = delete;
  CurlHandles& operator=(const CurlHandles&) = delete;
  ~CurlHandles() {
    curl_slist_free_all(headers);
    if (easy != nullptr) curl_easy_cleanup(easy);
  }
};

}  // namespace

std::string HttpAnswer::FailureText() const {
  if (!reached) return error;
  return "HTTP " + std::to_string(status);
}

HttpAnswer Send(const HttpRequest& request) {
  static std::once_flag global_init;
  std::call_once(global_init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  HttpAnswer answer;
  CurlHandles handles;
  if (handles.easy == nullptr) {
    answer.error = "could not start the request";
    return answer;
  }
  CURL* easy = handles.easy;
  for (const std::string& line : request.headers)
    handles.headers = curl_slist_append(handles.headers, line.c_str());
  if (request.method == "POST") {
    handles.headers = curl_slist_append(handles.headers, "Expect:");
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  }
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, handles.headers);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count() * 1000));
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer.body);

  const auto started = std::chrono::steady_clock::now();
  const CURLcode code = curl_easy_perform(easy);
  answer.elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  if (code != CURLE_OK) {
    answer.error = curl_easy_strerror(code);
    answer.body.clear();
    return answer;
  }
  answer.reached = true;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
  char* content_type = nullptr;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &content_type);
  if (content_type != nullptr) answer.contentType = content_type;
  return answer;
}

}  // namespace botcheck
