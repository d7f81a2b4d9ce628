#include <algorithm>

#include "devhost/environment.h"

namespace devhost {

std::int64_t ManualEnvironment::NowMs() const { return now_ms_; }

void ManualEnvironment::Send(HttpRequest request, HttpCompletion done) {
  request.id = next_id_++;
  pending_.emplace_back(request.id, std::move(done));
  requests_.push_back(std::move(request));
}

void ManualEnvironment::AdvanceClock(std::chrono::milliseconds duration) { now_ms_ += duration.count(); }

const std::vector<HttpRequest>& ManualEnvironment::Requests() const { return requests_; }

std::vector<HttpRequest> ManualEnvironment::Pending() const {
  std::vector<HttpRequest> pending;
  for (const auto& [id, done] : pending_) {
    auto it = std::find_if(requests_.begin(), requests_.end(),
                           [id = id](const HttpRequest& r) { return r.id == id; });
    if (it != requests_.end()) pending.push_back(*it);
  }
  return pending;
}

bool ManualEnvironment::Complete(std::uint64_t request_id, bool success, const std::string& text) {
  auto it = std::find_if(pending_.begin(), pending_.end(),
                         [request_id](const auto& entry) { return entry.first == request_id; });
  if (it == pending_.end()) return false;
  // Out of the list before it runs: the completion may well make new requests.
  HttpCompletion done = std::move(it->second);
  pending_.erase(it);
  done(success, text);
  return true;
}

void ManualEnvironment::DropPending() { pending_.clear(); }

}  // namespace devhost
