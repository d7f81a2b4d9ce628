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
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "chat/answer_walk.h"
#include "chat/outbound_batch.h"
#include "chat/outbound_message.h"
#include "chat/shown_memory.h"
#include "devhost/host.h"
#include "devhost/text.h"
#include "fuzz_check.h"
#include "support/mended_json.h"

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
  // The bot's clock, when the answer names it.
  std::optional<std::int64_t> answered_at;
  // The exact texts of the elements without a time the cursor can follow that are shown.
  std::vector<std::string> to_remember;
};

// What the plug-in remembers of such elements over the whole process, oldest first.
class RememberedTexts {
 public:
  bool Contains(const std::string& text) const { return known_.count(text) > 0; }
  void Add(const std::string& text) {
    if (!known_.insert(text).second) return;
    order_.push_back(text);
    if (order_.size() > palaverlink::kRememberedMessages) {
      known_.erase(order_.front());
      order_.pop_front();
    }
  }

 private:
  std::set<std::string> known_;
  std::deque<std::string> order_;
};

RememberedTexts& Remembered() {
  static RememberedTexts remembered;
  return remembered;
}

std::int64_t SystemNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Positions in a text that a full parse has accepted.
std::size_t SkipBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && std::strchr(" \t\r\n", text[at]) != nullptr && text[at] != '\0') ++at;
  return at;
}

std::size_t SkipValue(std::string_view text, std::size_t at) {
  int depth = 0;
  do {
    at = SkipBlanks(text, at);
    const char c = text[at];
    if (c == '"') {
      for (++at; text[at] != '"'; ++at)
        if (text[at] == '\\') ++at;
      ++at;
    } else if (c == '{' || c == '[') {
      ++depth;
      ++at;
    } else if (c == '}' || c == ']') {
      --depth;
      ++at;
    } else if (c == ',' || c == ':') {
      ++at;
    } else {
      while (at < text.size() && std::strchr(" \t\r\n,]}:", text[at]) == nullptr) ++at;
    }
  } while (depth > 0);
  return at;
}

// The exact texts of the elements of the last "messages" array of an object text that a full parse
// has accepted.
std::vector<std::string> ElementTexts(std::string_view text) {
  std::vector<std::string> elements;
  std::size_t at = SkipBlanks(text, text.starts_with("\xEF\xBB\xBF") ? 3 : 0) + 1;
  for (;;) {
    at = SkipBlanks(text, at);
    if (text[at] == '}') break;
    const std::size_t key_end = SkipValue(text, at);
    const std::string key =
        json::parse(palaverlink::testing::MendedForFullParse(text.substr(at, key_end - at)))
            .get<std::string>();
    const std::size_t value = SkipBlanks(text, SkipBlanks(text, key_end) + 1);
    const std::size_t value_end = SkipValue(text, value);
    if (key == "messages") {
      elements.clear();
      for (std::size_t element = SkipBlanks(text, value + 1); text[value] == '[' && text[element] != ']';) {
        const std::size_t end = SkipValue(text, element);
        elements.emplace_back(text.substr(element, end - element));
        element = SkipBlanks(text, SkipBlanks(text, end) + 1);  // past the comma, or at ']' after the last
        if (text[SkipBlanks(text, end)] == ']') break;
      }
    }
    at = SkipBlanks(text, value_end);
    if (text[at] == ',') ++at;
  }
  return elements;
}

// One line, as the players see it: line breaks and tabs as a blank, other controls and the
// bidirectional controls left out.
std::string OneLine(const std::string& utf8) {
  const std::u16string text = devhost::ToUtf16(utf8);
  std::u16string line;
  for (const char16_t c : text) {
    const bool breaks = c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == u'\t' || c == 0x85 ||
                        c == 0x2028 || c == 0x2029;
    const bool control =
        c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    if (breaks) {
      line += u' ';
    } else if (!control) {
      line += c;
    }
  }
  return devhost::ToUtf8(line);
}

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
ExpectedOutcome Expect(std::string_view answer, std::int64_t cursor, std::int64_t now) {
  ExpectedOutcome outcome;
  // No zero byte can stand in JSON text; nlohmann would stop reading at one after the value.
  if (answer.find('\0') != std::string_view::npos) return outcome;
  // What is not text inside a string reads as U+FFFD; a full parse refuses it.
  const std::string mended = palaverlink::testing::MendedForFullParse(answer);
  const json value = json::parse(mended, nullptr, /*allow_exceptions=*/false);
  if (value.is_discarded() || !value.is_object()) return outcome;
  const auto messages = value.find("messages");
  if (messages == value.end() || !messages->is_array()) return outcome;
  if (value.contains("answeredAt")) outcome.answered_at = UsableTime(value["answeredAt"]);
  const std::vector<std::string> texts = ElementTexts(answer);
  FUZZ_CHECK(texts.size() == messages->size(), "the oracle split %zu elements of %zu", texts.size(),
             messages->size());
  // A createdAt more than a day ahead of the server's clock is taken like one the plug-in cannot order.
  const auto far_ahead = [&](const std::optional<std::int64_t>& created_at) {
    return created_at && *created_at > cursor && *created_at > now &&
           *created_at - now > palaverlink::kFarthestCreatedAtAheadMs;
  };
  std::size_t timed_after_cursor = 0;
  for (const json& element : *messages) {
    if (!element.is_object() || !element.contains("createdAt")) continue;
    const auto created_at = UsableTime(element["createdAt"]);
    if (created_at && *created_at > cursor && !far_ahead(created_at)) ++timed_after_cursor;
  }
  const std::size_t room =
      palaverlink::kShownPerCompletion - std::min(timed_after_cursor, palaverlink::kShownPerCompletion);
  std::size_t timed = 0;
  std::size_t unordered = 0;
  std::size_t untimed_taken = 0;
  for (std::size_t index = 0; index < messages->size(); ++index) {
    const json& element = (*messages)[index];
    std::optional<std::int64_t> created_at;
    const bool is_object = element.is_object();
    const bool has_time = is_object && element.contains("createdAt");
    if (has_time) created_at = UsableTime(element["createdAt"]);
    const bool far = far_ahead(created_at);
    if (!created_at || far) {
      if (Remembered().Contains(texts[index])) continue;
      if (++unordered > palaverlink::kUnorderedPerCompletion || !is_object || (has_time && !created_at))
        continue;
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
        outside ? "[Gabblen]"
                : "<" + Bounded(OneLine(*source), palaverlink::kLongestSourceMapNameBytes) + ">";
    const std::string author_line = OneLine(*author);
    const std::string message_line = OneLine(*message);
    const std::string line = Bounded(
        author_line.empty() ? message_line
                            : Bounded(author_line, palaverlink::kLongestAuthorBytes) + ": " + message_line,
        palaverlink::kLongestChatLineBytes);
    outcome.shown.push_back({AsShown(tag), AsShown(line)});
    if (!created_at || far_ahead(created_at)) outcome.to_remember.push_back(texts[index]);
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
    const ExpectedOutcome expected = Expect(answer, cursor_, SystemNowMs());
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
      for (const std::string& text : expected.to_remember) Remembered().Add(text);
      cursor_ = NextPollCursor();
      load_stamp_only_ = false;
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

    for (const std::string& text : expected.to_remember) Remembered().Add(text);
    if (expected.greatest_created_at && *expected.greatest_created_at > cursor_) {
      cursor_ = *expected.greatest_created_at;
      load_stamp_only_ = false;
    }
    const std::int64_t next = NextPollCursor();
    // A bot that names its clock behind the server's, while the cursor is still the load's stamp:
    // the cursor moves back by about as much, once, never below what was shown.
    if (load_stamp_only_ && expected.answered_at && next < cursor_) {
      FUZZ_CHECK(*expected.answered_at < cursor_, "the cursor moved back for answeredAt %lld",
                 static_cast<long long>(*expected.answered_at));
      cursor_ = next;
      load_stamp_only_ = false;
      return;
    }
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
  bool load_stamp_only_ = true;  // no createdAt has moved the cursor since the load
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
