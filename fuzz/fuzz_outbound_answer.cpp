// The outbound poll's completion on any answer, driven through the development host: the plug-in
// polls, the answer completes the poll. Checked against rules worked out here from the answer alone:
// the lines every player is shown, in order, and the cursor that the next poll carries. Never a
// crash, never an exception into the host, never a game buffer left behind.
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chat/answer_walk.h"
#include "chat/outbound_batch.h"
#include "chat/outbound_message.h"
#include "devhost/host.h"
#include "devhost/text.h"
#include "fuzz_check.h"

extern "C" void Plugin_Init();
extern "C" void Plugin_Unload();

namespace {

using nlohmann::json;

constexpr int kPlayers = 2;
// The host keeps every request and shown line; a fresh one after this many answers.
constexpr int kAnswersPerHost = 2000;

struct ShownText {
  std::u16string tag;
  std::u16string line;
};

struct ExpectedOutcome {
  std::vector<ShownText> shown;
  std::optional<std::int64_t> greatest_created_at;
  // More timed elements than one completion shows: a batch of them now, the rest by later polls.
  bool batched = false;
};

// The game sees each text up to its first zero character.
std::u16string AsShown(const std::string& utf8) {
  std::u16string text = devhost::ToUtf16(utf8);
  return text.substr(0, text.find(u'\0'));
}

// A text of more than `limit` bytes as the players see it: as many whole characters as leave room for
// "…" (U+2026, three bytes in UTF-8), then "…".
std::string Bounded(const std::string& utf8, std::size_t limit) {
  if (utf8.size() <= limit) return utf8;
  std::size_t keep = limit - 3;
  while (keep > 0 && (static_cast<unsigned char>(utf8[keep]) & 0xC0) == 0x80) --keep;
  return utf8.substr(0, keep) + "\xE2\x80\xA6";
}

// "createdAt" as whole milliseconds; nothing when it has no usable value.
std::optional<std::int64_t> UsableTime(const json& createdAt) {
  if (createdAt.is_number_unsigned()) {
    const auto value = createdAt.get<std::uint64_t>();
    if (value > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<std::int64_t>(value);
  }
  if (createdAt.is_number_integer()) return createdAt.get<std::int64_t>();
  if (createdAt.is_number_float()) {
    const double value = std::trunc(createdAt.get<double>());
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0)) return std::nullopt;
    return static_cast<std::int64_t>(value);
  }
  return std::nullopt;
}

std::optional<std::string> TextOf(const json& element, const char* key, const char* fallback) {
  const auto found = element.find(key);
  if (found == element.end()) return std::string(fallback);
  if (!found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

// An element whose createdAt is not after the cursor is not shown. Elements the plug-in cannot
// order (not an object, no createdAt or an unusable one) are taken up to a bound, in the answer's
// order, and dropped beyond it; of those taken, only objects without createdAt can be shown, and
// only in the room that the timed ones leave of one completion. An
// element that holds a key of the wrong type is skipped; its createdAt, when usable, still counts
// for the cursor.
ExpectedOutcome Expect(std::string_view answer, std::int64_t cursor) {
  ExpectedOutcome outcome;
  // No zero byte can stand in JSON text; nlohmann would stop reading at one after the value.
  if (answer.find('\0') != std::string_view::npos) return outcome;
  const json value = json::parse(answer, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded() || !value.is_object()) return outcome;
  const auto messages = value.find("messages");
  if (messages == value.end() || !messages->is_array()) return outcome;
  std::size_t timed_after_cursor = 0;
  for (const json& element : *messages) {
    if (!element.is_object() || !element.contains("createdAt")) continue;
    const auto created_at = UsableTime(element["createdAt"]);
    if (created_at && *created_at > cursor) ++timed_after_cursor;
  }
  const std::size_t room =
      palaverlink::kShownPerCompletion - std::min(timed_after_cursor, palaverlink::kShownPerCompletion);
  std::size_t timed = 0;
  std::size_t unordered = 0;
  std::size_t untimed_taken = 0;
  for (const json& element : *messages) {
    std::optional<std::int64_t> created_at;
    const bool is_object = element.is_object();
    const bool has_time = is_object && element.contains("createdAt");
    if (has_time) created_at = UsableTime(element["createdAt"]);
    if (!created_at) {
      if (++unordered > palaverlink::kUnorderedPerCompletion || !is_object || has_time) continue;
      if (++untimed_taken > room) continue;
    } else if (*created_at <= cursor) {
      continue;
    } else {
      outcome.batched = ++timed > palaverlink::kShownPerCompletion;
      outcome.greatest_created_at = std::max(outcome.greatest_created_at.value_or(INT64_MIN), *created_at);
    }
    const auto author = TextOf(element, "author", "");
    const auto message = TextOf(element, "message", "");
    const auto kind = TextOf(element, "kind", "gabblen");
    if (!author || !message || !kind) continue;
    const bool outside = *kind == "gabblen";
    const auto source = outside ? std::optional<std::string>("") : TextOf(element, "sourceMapName", "Map");
    if (!source) continue;
    const std::string tag =
        outside ? "[Gabblen]" : "<" + Bounded(*source, palaverlink::kLongestSourceMapNameBytes) + ">";
    const std::string line =
        Bounded(author->empty() ? *message : *author + ": " + *message, palaverlink::kLongestChatLineBytes);
    outcome.shown.push_back({AsShown(tag), AsShown(line)});
  }
  return outcome;
}

class Scene {
 public:
  Scene()
      : root_(std::filesystem::temp_directory_path() / ("palaverlink-fuzz-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
    auto environment = std::make_unique<devhost::ManualEnvironment>();
    env_ = environment.get();
    host_ = std::make_unique<devhost::Host>(root_, std::move(environment), /*log_to_stderr=*/false);
    host_->WriteConfig(R"({"MapId":"the-island"})");
    Plugin_Init();
    host_->game().CreateWorld(u"TheIsland");
    for (int i = 1; i <= kPlayers; ++i) {
      devhost::PlayerSpec player;
      player.platform_id = static_cast<std::uint64_t>(i);
      player.character_name = u"Rex";
      player.account_name = u"rex";
      player.tribe_name = u"Raptors";
      host_->game().Join(player);
    }
    cursor_ = NextPollCursor();
  }

  ~Scene() {
    Plugin_Unload();
    host_.reset();
    std::filesystem::remove_all(root_);
  }

  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  void Answer(const std::string& answer) {
    const ExpectedOutcome expected = Expect(answer, cursor_);
    const std::size_t shown_before = host_->game().Shown().size();

    host_->Complete(poll_, true, answer);

    FUZZ_CHECK(host_->EscapedExceptions().empty(), "exception reached the host: %s",
               host_->EscapedExceptions().front().c_str());
    FUZZ_CHECK(host_->game().Misuses().empty(), "game misused: %s", host_->game().Misuses().front().c_str());
    FUZZ_CHECK(host_->game().Allocator().LiveCount() == 0, "%zu game buffer(s) left behind",
               host_->game().Allocator().LiveCount());

    const auto& shown = host_->game().Shown();
    const std::size_t count = shown.size() - shown_before;
    if (expected.batched) {
      // Which ones come now is the batch's choice; never more than the answer holds, none twice,
      // and never more than the bounds of one completion.
      FUZZ_CHECK(count <= expected.shown.size() * kPlayers, "%zu lines shown, at most %zu expected", count,
                 expected.shown.size() * kPlayers);
      FUZZ_CHECK(count <= palaverlink::kShownPerCompletion * kPlayers, "%zu lines shown in one completion",
                 count);
      cursor_ = NextPollCursor();
      return;
    }
    FUZZ_CHECK(count == expected.shown.size() * kPlayers, "%zu lines shown, %zu expected", count,
               expected.shown.size() * kPlayers);
    for (std::size_t i = 0; i < count; ++i) {
      const devhost::ShownLine& line = shown[shown_before + i];
      const ShownText& want = expected.shown[i / kPlayers];
      FUZZ_CHECK(line.to == i % kPlayers + 1, "line %zu went to player %llu", i,
                 static_cast<unsigned long long>(line.to));
      FUZZ_CHECK(line.tag == want.tag, "line %zu shown under another tag: %s", i,
                 devhost::ToUtf8(line.tag).c_str());
      FUZZ_CHECK(line.line == want.line, "line %zu shown with another text: %s", i,
                 devhost::ToUtf8(line.line).c_str());
    }

    if (expected.greatest_created_at) cursor_ = std::max(cursor_, *expected.greatest_created_at);
    const std::int64_t next = NextPollCursor();
    FUZZ_CHECK(next == cursor_, "the next poll asks since %lld, expected %lld", static_cast<long long>(next),
               static_cast<long long>(cursor_));
  }

 private:
  // Lets the poll timer send the next poll and answers every other request as the bot would; the
  // poll's "since" is the plug-in's cursor.
  std::int64_t NextPollCursor() {
    for (int tick = 0; tick < 12; ++tick) {
      host_->Advance(std::chrono::seconds(3));
      std::optional<devhost::HttpRequest> poll;
      for (const devhost::HttpRequest& request : env_->Pending()) {
        if (request.url.find("/api/chat/outbound?") != std::string::npos) {
          poll = request;
        } else {
          host_->Complete(request.id, true, "{}");
        }
      }
      if (!poll) continue;
      poll_ = poll->id;
      const auto since = poll->url.rfind("&since=");
      FUZZ_CHECK(since != std::string::npos, "a poll without since: %s", poll->url.c_str());
      return std::stoll(poll->url.substr(since + 7));
    }
    FUZZ_CHECK(false, "the plug-in stopped polling");
    return 0;
  }

  std::filesystem::path root_;
  devhost::ManualEnvironment* env_ = nullptr;
  std::unique_ptr<devhost::Host> host_;
  std::uint64_t poll_ = 0;
  std::int64_t cursor_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The oracle cannot see an element's own length; a whole answer within the bound has none longer.
  if (size > palaverlink::kLongestMessageElementBytes) return 0;
  static std::unique_ptr<Scene> scene;
  static int answers = 0;
  if (!scene || answers++ == kAnswersPerHost) {
    scene.reset();
    scene = std::make_unique<Scene>();
    answers = 1;
  }
  scene->Answer(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
