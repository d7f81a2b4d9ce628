#include "devbot/taken_posts.h"

namespace devbot {
namespace {

constexpr char kKeyHeader[] = "Idempotency-Key";

bool IsKeyCharacter(char c) { return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\'; }

}  // namespace

Parsed<std::optional<std::string>> ReadIdempotencyKey(const Headers& headers) {
  const std::size_t count = headers.count(kKeyHeader);
  if (count == 0) return {std::optional<std::string>(), {}};
  if (count > 1) return {std::nullopt, "more than one Idempotency-Key header"};
  const std::string& value = headers.find(kKeyHeader)->second;
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  const std::string key = quoted ? value.substr(1, value.size() - 2) : std::string();
  bool well_formed = quoted && !key.empty() && key.size() <= kLongestKey;
  for (const char c : key) well_formed = well_formed && IsKeyCharacter(c);
  if (!well_formed) {
    return {std::nullopt,
            "Idempotency-Key must be a quoted string of 1 to 64 printable ASCII characters without '\"' or "
            "'\\', such as \"9f2c4e01a7b3d865-42\""};
  }
  return {std::optional<std::string>(key), {}};
}

std::optional<Response> TakenPosts::AnswerTo(const std::string& key, std::int64_t now_ms) {
  Forget(now_ms);
  const auto found = answers_.find(key);
  if (found == answers_.end()) return std::nullopt;
  return found->second;
}

void TakenPosts::Remember(const std::string& key, const Response& answer, std::int64_t now_ms) {
  if (!answers_.emplace(key, answer).second) return;
  order_.push_back({key, now_ms});
  Forget(now_ms);
}

void TakenPosts::Forget(std::int64_t now_ms) {
  while (order_.size() > kKeptKeys && now_ms - order_.front().taken_at >= kKeptKeyMs) {
    answers_.erase(order_.front().key);
    order_.pop_front();
  }
}

}  // namespace devbot
