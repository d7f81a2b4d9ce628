#include "chat/outbound_message.h"

#include <utility>

#include "chat/one_line_text.h"
#include "core/utf8_boundary.h"

namespace palaverlink {
namespace {

// A member the message reads: absent, a string, or of another type.
struct TextMember {
  bool present = false;
  bool isString = false;
  std::string text;
};

// The member's text, `fallback` when absent, empty when present with another type.
std::optional<std::string> TextOr(TextMember& member, std::string_view fallback) {
  if (!member.present) return std::string(fallback);
  if (!member.isString) return std::nullopt;
  return std::move(member.text);
}

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

// `text` itself when it has at most `limit` bytes; else its longest start of whole UTF-8 characters
// that leaves room for "…" (3 bytes), then "…".
std::string CutToBytes(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  const std::size_t keep =
      WholeCharactersWithin(text, limit > kEllipsis.size() ? limit - kEllipsis.size() : 0);
  std::string cut(text.substr(0, keep));
  cut += kEllipsis;
  return cut;
}

// "[Gabblen]" for a line from the outside platform (kind exactly "gabblen"), else "<source map>"
// with the name cut to kLongestSourceMapNameBytes.
std::string SenderTag(std::string_view kind, std::string_view source_map_name) {
  if (kind == "gabblen") return "[Gabblen]";
  std::string tag = "<";
  tag += CutToBytes(source_map_name, kLongestSourceMapNameBytes);
  tag += '>';
  return tag;
}

// "author: message", or the message alone when there is no author; the author cut to
// kLongestAuthorBytes, then the line to kLongestChatLineBytes.
std::string ChatLine(std::string_view author, std::string_view message) {
  if (author.empty()) return CutToBytes(message, kLongestChatLineBytes);
  std::string line = CutToBytes(author, kLongestAuthorBytes);
  line += ": ";
  line += message;
  return line.size() <= kLongestChatLineBytes ? line : CutToBytes(line, kLongestChatLineBytes);
}

}  // namespace

std::optional<OutboundMessage> ReadOutboundMessage(std::string_view element_text) {
  OutboundMessage shown;
  TextMember author_member, message_member, kind_member, source_member;
  JsonScanner scan(element_text);
  if (scan.Peek() != '{') return std::nullopt;
  // The last of a key counts, as in a full parse.
  const bool scanned = scan.Object([&](std::string_view key) {
    TextMember* member = key == "author"          ? &author_member
                         : key == "message"       ? &message_member
                         : key == "kind"          ? &kind_member
                         : key == "sourceMapName" ? &source_member
                                                  : nullptr;
    if (member == nullptr) return scan.SkipValue();
    member->present = true;
    member->isString = scan.Peek() == '"';
    return member->isString ? scan.StringValue(member->text, shown.broken) : scan.SkipValue();
  });
  if (!scanned) return std::nullopt;
  auto author = TextOr(author_member, "");
  auto message = TextOr(message_member, "");
  auto kind = TextOr(kind_member, "gabblen");
  if (!author || !message || !kind) return std::nullopt;

  // The source map is read only for lines from another map.
  std::optional<std::string> source_map = std::string();
  if (*kind != "gabblen") source_map = TextOr(source_member, "Map");
  if (!source_map) return std::nullopt;

  shown.kind = std::move(*kind);
  shown.author = std::move(*author);
  shown.message = std::move(*message);
  // The Debug line quotes the values as sent; the players see them one line each.
  std::string author_line = shown.author;
  std::string message_line = shown.message;
  shown.controlsReplaced = MakeOneLine(author_line) + MakeOneLine(message_line) + MakeOneLine(*source_map);
  shown.senderTag = SenderTag(shown.kind, *source_map);
  shown.chatLine = ChatLine(author_line, message_line);
  return shown;
}

std::string AnswerExcerpt(std::string_view answer) {
  return std::string(answer.substr(0, kAnswerExcerptBytes));
}

}  // namespace palaverlink
