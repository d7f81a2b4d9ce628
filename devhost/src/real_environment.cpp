// The production environment: the steady clock, and libcurl's multi interface on a thread of its
// own. Every started request ends with exactly one call of its completion (time-outs included),
// made from the transport thread; the host hands it to the game loop.
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "devhost/environment.h"
#include "http_reasons.h"

namespace devhost {
namespace {

struct Transfer {
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string response;
  HttpCompletion done;

  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
  }
};

std::size_t AppendResponse(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<Transfer*>(user)->response.append(data, size * count);
  return size * count;
}

bool HasHeader(const std::vector<std::string>& headers, std::string_view name) {
  for (const std::string& line : headers) {
    if (line.size() > name.size() && line[name.size()] == ':' &&
        std::equal(name.begin(), name.end(), line.begin(),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
      return true;
    }
  }
  return false;
}

class RealEnvironment final : public Environment {
 public:
  explicit RealEnvironment(std::chrono::milliseconds timeout) : timeout_(timeout) {
    static std::once_flag global_init;
    std::call_once(global_init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    multi_ = curl_multi_init();
    thread_ = std::thread([this] { Loop(); });
  }

  ~RealEnvironment() override {
    stopping_ = true;
    curl_multi_wakeup(multi_);
    thread_.join();
    for (auto& [easy, transfer] : active_) curl_multi_remove_handle(multi_, easy);
    active_.clear();
    curl_multi_cleanup(multi_);
  }

  RealEnvironment(const RealEnvironment&) = delete;
  RealEnvironment& operator=(const RealEnvironment&) = delete;

  std::int64_t NowMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  void Send(HttpRequest request, HttpCompletion done) override {
    {
      std::lock_guard lock(mutex_);
      request.id = next_id_++;
      incoming_.emplace_back(std::move(request), std::move(done));
    }
    curl_multi_wakeup(multi_);
  }

  bool IsManual() const override { return false; }

 private:
  void Loop() {
    while (!stopping_) {
      StartIncoming();
      int running = 0;
      curl_multi_perform(multi_, &running);
      FinishDone();
      curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
  }

  void StartIncoming() {
    std::vector<std::pair<HttpRequest, HttpCompletion>> batch;
    {
      std::lock_guard lock(mutex_);
      batch.swap(incoming_);
    }
    for (auto& [request, done] : batch) Start(request, std::move(done));
  }

  void Start(const HttpRequest& request, HttpCompletion done) {
    auto transfer = std::make_unique<Transfer>();
    transfer->done = std::move(done);
    transfer->easy = curl_easy_init();
    if (transfer->easy == nullptr) {
      transfer->done(false, curl_easy_strerror(CURLE_FAILED_INIT));
      return;
    }
    CURL* easy = transfer->easy;
    for (const std::string& line : request.headers)
      transfer->headers = curl_slist_append(transfer->headers, line.c_str());
    if (request.method == "POST") {
      if (!request.content_type.empty() && !HasHeader(request.headers, "Content-Type")) {
        transfer->headers =
            curl_slist_append(transfer->headers, ("Content-Type: " + request.content_type).c_str());
      }
      transfer->headers = curl_slist_append(transfer->headers, "Expect:");
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
      curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
    } else {
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_.count()));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY,
                     "");  // the bot is local: never through a proxy from the environment
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &AppendResponse);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_multi_add_handle(multi_, easy);
    active_.emplace(easy, std::move(transfer));
  }

  void FinishDone() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode code = message->data.result;
      auto it = active_.find(easy);
      if (it == active_.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(it->second);
      active_.erase(it);
      curl_multi_remove_handle(multi_, easy);
      if (code != CURLE_OK) {
        transfer->done(false, curl_easy_strerror(code));
        continue;
      }
      long status = 0;
      curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
      if (status >= 200 && status < 300) {
        transfer->done(true, std::move(transfer->response));
      } else {
        transfer->done(false, HttpFailureText(status, transfer->response));
      }
    }
  }

  std::chrono::milliseconds timeout_;
  CURLM* multi_ = nullptr;
  std::atomic<bool> stopping_ = false;
  std::mutex mutex_;
  std::uint64_t next_id_ = 1;
  std::vector<std::pair<HttpRequest, HttpCompletion>> incoming_;
  std::map<CURL*, std::unique_ptr<Transfer>> active_;  // transport thread only
  std::thread thread_;
};

}  // namespace

std::unique_ptr<Environment> MakeRealEnvironment(std::chrono::milliseconds timeout) {
  return std::make_unique<RealEnvironment>(timeout);
}

}  // namespace devhost
