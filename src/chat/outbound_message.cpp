#include "chat/outbound_message.h"

#include <nlohmann/json.hpp>

#include <utility>

namespace palaverlink {
namespace {

// The string under `key`, `fallback` when absent, empty when present with another type.
std::optional<std::string> ReadText(const nlohmann::json& element, const char* key,
                                    std::string_view fallback) {
  auto found = element.find(key);
  if (found == element.end()) return std::string(fallback);
  if (!found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string CutToBytes(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t keep = limit > kEllipsis.size() ? limit - kEllipsis.size() : 0;
  while (keep > 0 && IsContinuationByte(text[keep])) --keep;
  std::string cut(text.substr(0, keep));
  cut += kEllipsis;
  return cut;
}

std::string SenderTag(std::string_view kind, std::string_view source_map_name) {
  if (kind == "gabblen") return "[Gabblen]";
  std::string tag = "<";
  tag += CutToBytes(source_map_name, kLongestSourceMapNameBytes);
  tag += '>';
  return tag;
}

std::string ChatLine(std::string_view author, std::string_view message) {
  if (author.empty()) return CutToBytes(message, kLongestChatLineBytes);
  std::string line(author);
  line += ": ";
  line += message;
  return line.size() <= kLongestChatLineBytes ? line : CutToBytes(line, kLongestChatLineBytes);
}

std::optional<OutboundMessage> ReadOutboundMessage(std::string_view element_text) {
  const nlohmann::json element = nlohmann::json::parse(element_text);
  if (!element.is_object()) return std::nullopt;
  auto author = ReadText(element, "author", "");
  auto message = ReadText(element, "message", "");
  auto kind = ReadText(element, "kind", "gabblen");
  if (!author || !message || !kind) return std::nullopt;

  // The source map is read only for lines from another map.
  std::optional<std::string> source_map = std::string();
  if (*kind != "gabblen") source_map = ReadText(element, "sourceMapName", "Map");
  if (!source_map) return std::nullopt;

  OutboundMessage shown;
  shown.senderTag = SenderTag(*kind, *source_map);
  shown.chatLine = ChatLine(*author, *message);
  shown.kind = std::move(*kind);
  shown.author = std::move(*author);
  shown.message = std::move(*message);
  return shown;
}

std::string AnswerExcerpt(std::string_view answer) {
  return std::string(answer.substr(0, kAnswerExcerptBytes));
}

}  // namespace palaverlink
