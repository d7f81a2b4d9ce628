// One message of the bot's answer as the players see it: the sender tag and the chat line, read
// from an element the answer walk chose.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/json_scan.h"

namespace palaverlink {

// One message ready to show, with the raw values that the Debug line quotes.
struct OutboundMessage {
  std::string kind;
  std::string author;
  std::string message;
  std::string senderTag;
  std::string chatLine;
  BrokenText broken;                 // read as U+FFFD
  std::size_t controlsReplaced = 0;  // in the author, message and source map (chat/one_line_text.h)
};

// An element of the answer longer than this is skipped unread: reading one of a megabyte alone
// would hold the game thread for milliseconds. It leaves room for a line at its bound below with
// every character escaped.
inline constexpr std::size_t kLongestMessageElementBytes = 4096;

// A chat line, or a source map's name, longer than this many bytes is cut at a character boundary
// and ends in "…": every byte goes to every player, and one line of a megabyte would hold the game
// thread for a tenth of a second or more (see bench/results.md).
inline constexpr std::size_t kLongestChatLineBytes = 1000;
inline constexpr std::size_t kLongestSourceMapNameBytes = 100;
// The author is cut first, so that a long name leaves the line most of its room: no chat platform
// allows names near this long.
inline constexpr std::size_t kLongestAuthorBytes = 100;

// The message of an element's JSON text (an object the walk has found well formed; its createdAt
// is the walk's business), its texts made one line each (chat/one_line_text.h). Empty when a member
// has the wrong type: the element is skipped.
std::optional<OutboundMessage> ReadOutboundMessage(std::string_view element_text);

// Warnings about an answer quote at most this many bytes of it (a cut may split a UTF-8 sequence).
inline constexpr std::size_t kAnswerExcerptBytes = 200;
std::string AnswerExcerpt(std::string_view answer);

}  // namespace palaverlink
