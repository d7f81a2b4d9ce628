// The posts the bot took, by their Idempotency-Key, so that a post sent again (a resend after a lost
// answer, or the HTTP client's own retry) is answered as the first time and not stored twice.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>

#include "devbot/http_types.h"
#include "devbot/shape_check.h"

namespace devbot {

// A key is kept while it is younger than this or among the newest kKeptKeys, whichever is longer:
// long enough for any resend of the plug-in.
inline constexpr std::int64_t kKeptKeyMs = 10 * 60 * 1000;
inline constexpr std::size_t kKeptKeys = 10'000;
inline constexpr std::size_t kLongestKey = 64;

// The key of a request: nothing without an Idempotency-Key header; an error when the header is
// repeated or is not a quoted string of 1 to 64 printable ASCII characters without '"' or '\'.
Parsed<std::optional<std::string>> ReadIdempotencyKey(const Headers& headers);

class TakenPosts {
 public:
  // The answer given to the post taken with `key`, if it is still remembered.
  std::optional<Response> AnswerTo(const std::string& key, std::int64_t now_ms);

  void Remember(const std::string& key, const Response& answer, std::int64_t now_ms);

  std::size_t size() const { return answers_.size(); }

 private:
  void Forget(std::int64_t now_ms);

  struct Taken {
    std::string key;
    std::int64_t taken_at = 0;
  };
  std::map<std::string, Response> answers_;
  std::deque<Taken> order_;  // oldest first
};

}  // namespace devbot
