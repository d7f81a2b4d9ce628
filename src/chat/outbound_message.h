// One message of the bot's answer as the players see it: the sender tag and the chat line, read
// from an element the answer walk chose.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace palaverlink {

// One message ready to show, with the raw values that the Debug line quotes.
struct OutboundMessage {
  std::string kind;
  std::string author;
  std::string message;
  std::string senderTag;
  std::string chatLine;
};

// "[Gabblen]" for a line from the outside platform (kind exactly "gabblen"), else "<source map>".
std::string SenderTag(std::string_view kind, std::string_view source_map_name);

// "author: message", or the message alone when there is no author.
std::string ChatLine(std::string_view author, std::string_view message);

// The message of an element's JSON text (an object the walk has found well formed; its createdAt
// is the walk's business). Empty when a member has the wrong type: the element is skipped.
std::optional<OutboundMessage> ReadOutboundMessage(std::string_view element_text);

// Warnings about an answer quote at most this many bytes of it (a cut may split a UTF-8 sequence).
inline constexpr std::size_t kAnswerExcerptBytes = 200;
std::string AnswerExcerpt(std::string_view answer);

}  // namespace palaverlink
