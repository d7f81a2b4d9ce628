#include "command_parser.h"

#include <charconv>
#include <limits>
#include <stdexcept>
#include <vector>

#include "devhost/text.h"

namespace devserver {
namespace {

constexpr std::int64_t kLongestSleepMs = 24LL * 60 * 60 * 1000;

// A rejected line; the message becomes ParsedLine::error.
struct Rejected : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Token {
  std::u16string text;
  std::string raw;  // the token as written, for messages
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipBlanks(std::string_view line, std::size_t pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  return pos;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the quoted part that starts at `pos` (on the opening quote) into `out`; returns the
// position after the closing quote.
std::size_t ReadQuoted(std::string_view line, std::size_t pos, std::u16string& out) {
  std::string plain;  // UTF-8 bytes not yet converted
  auto flush = [&] {
    out += devhost::ToUtf16(plain);
    plain.clear();
  };
  for (++pos; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '"') {
      flush();
      return pos + 1;
    }
    if (c != '\\') {
      plain.push_back(c);
      continue;
    }
    if (++pos >= line.size()) break;
    switch (line[pos]) {
      case '"':
        plain.push_back('"');
        break;
      case '\\':
        plain.push_back('\\');
        break;
      case 'n':
        plain.push_back('\n');
        break;
      case 'u': {
        unsigned unit = 0;
        for (int i = 1; i <= 4; ++i) {
          const int digit = pos + static_cast<std::size_t>(i) < line.size()
                                ? HexValue(line[pos + static_cast<std::size_t>(i)])
                                : -1;
          if (digit < 0) throw Rejected("bad \\u escape: expected four hexadecimal digits");
          unit = unit * 16 + static_cast<unsigned>(digit);
        }
        flush();
        out.push_back(static_cast<char16_t>(unit));
        pos += 4;
        break;
      }
      default:
        throw Rejected(std::string("unknown escape \\") + line[pos] + " (use \\\" \\\\ \\n or \\uXXXX)");
    }
  }
  throw Rejected("unterminated quoted argument");
}

// Reads the token that starts at `pos` (not a blank); returns the position after it.
std::size_t ReadToken(std::string_view line, std::size_t pos, Token& token) {
  const std::size_t start = pos;
  std::string plain;
  while (pos < line.size() && !IsBlank(line[pos])) {
    if (line[pos] == '"') {
      token.text += devhost::ToUtf16(plain);
      plain.clear();
      pos = ReadQuoted(line, pos, token.text);
    } else {
      plain.push_back(line[pos++]);
    }
  }
  token.text += devhost::ToUtf16(plain);
  token.raw = std::string(line.substr(start, pos - start));
  return pos;
}

std::vector<Token> Tokenize(std::string_view line, std::size_t pos = 0) {
  std::vector<Token> tokens;
  for (pos = SkipBlanks(line, pos); pos < line.size(); pos = SkipBlanks(line, pos)) {
    Token token;
    pos = ReadToken(line, pos, token);
    tokens.push_back(std::move(token));
  }
  return tokens;
}

std::string Utf8(const Token& token) { return devhost::ToUtf8(token.text); }

template <typename Number>
bool ParseDecimal(const std::string& text, Number& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

std::uint64_t ParseId(const std::string& command, const Token& token) {
  std::uint64_t id = 0;
  const std::string text = Utf8(token);
  if (text.empty() || text[0] == '-' || text[0] == '+' || !ParseDecimal(text, id)) {
    throw Rejected(command + ": ID must be an unsigned 64-bit decimal number, not '" + token.raw + "'");
  }
  return id;
}

int ParseMode(const Token& token) {
  const std::string text = Utf8(token);
  if (text == "global") return 0;
  if (text == "tribe") return 1;
  if (text == "local") return 2;
  if (text == "alliance") return 3;
  int mode = 0;
  if (!ParseDecimal(text, mode)) {
    throw Rejected("chat: MODE must be a number or global, tribe, local, alliance, not '" + token.raw + "'");
  }
  return mode;
}

void ExpectCount(const std::vector<Token>& tokens, std::size_t count, const std::string& usage) {
  if (tokens.size() != count) throw Rejected("expected: " + usage);
}

JoinCommand ParseJoin(const std::vector<Token>& tokens) {
  const std::string usage = "join ID CHARNAME [account=TEXT] [tribe=TEXT] [nostate]";
  if (tokens.size() < 3) throw Rejected("expected: " + usage);
  JoinCommand join;
  join.id = ParseId("join", tokens[1]);
  join.character_name = tokens[2].text;
  for (std::size_t i = 3; i < tokens.size(); ++i) {
    const std::u16string& option = tokens[i].text;
    if (option.rfind(u"account=", 0) == 0) {
      join.account_name = option.substr(8);
    } else if (option.rfind(u"tribe=", 0) == 0) {
      join.tribe_name = option.substr(6);
    } else if (option == u"nostate") {
      join.has_player_state = false;
    } else {
      throw Rejected("join: unknown option '" + tokens[i].raw + "'; expected: " + usage);
    }
  }
  return join;
}

// The first `count` ordinary arguments (the keyword first), then the rest of the line as the TEXT:
// as it stands, unless it is exactly one quoted argument.
std::u16string SplitText(std::string_view line, Token* fixed, std::size_t count, const std::string& usage,
                         const std::string& command) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < count; ++i) {
    pos = SkipBlanks(line, pos);
    if (pos >= line.size()) throw Rejected("expected: " + usage);
    pos = ReadToken(line, pos, fixed[i]);
  }
  pos = SkipBlanks(line, pos);
  if (pos >= line.size())
    throw Rejected(command + ": TEXT is missing (write \"\" for an empty line); expected: " + usage);
  const std::string_view rest = line.substr(pos);
  if (rest.front() == '"') {
    try {
      std::vector<Token> quoted = Tokenize(rest);
      if (quoted.size() == 1 && quoted[0].raw.front() == '"' && quoted[0].raw.back() == '"' &&
          quoted[0].raw.size() >= 2) {
        return quoted[0].text;
      }
    } catch (const Rejected&) {
      // not one quoted argument: the text stands as written
    }
  }
  return devhost::ToUtf16(rest);
}

ChatCommand ParseChat(std::string_view line) {
  // The keyword, the id and the mode are ordinary arguments; the text is what follows.
  Token fixed[3];
  std::u16string text = SplitText(line, fixed, 3, "chat ID MODE TEXT", "chat");
  ChatCommand chat;
  chat.id = ParseId("chat", fixed[1]);
  chat.mode = ParseMode(fixed[2]);
  chat.text = std::move(text);
  return chat;
}

ConsoleCommand ParseConsole(std::string_view line) {
  Token fixed[2];
  std::u16string text = SplitText(line, fixed, 2, "console ID TEXT", "console");
  return ConsoleCommand{ParseId("console", fixed[1]), std::move(text)};
}

RconCommand ParseRcon(std::string_view line) {
  Token fixed[1];
  return RconCommand{SplitText(line, fixed, 1, "rcon TEXT", "rcon")};
}

Command Parse(std::string_view line) {
  std::size_t keyword_end = SkipBlanks(line, 0);
  const std::size_t keyword_start = keyword_end;
  while (keyword_end < line.size() && !IsBlank(line[keyword_end])) ++keyword_end;
  const std::string keyword(line.substr(keyword_start, keyword_end - keyword_start));
  if (keyword == "chat") return ParseChat(line);
  if (keyword == "console") return ParseConsole(line);
  if (keyword == "rcon") return ParseRcon(line);

  const std::vector<Token> tokens = Tokenize(line);
  if (keyword == "world") {
    ExpectCount(tokens, 2, "world NAME (world \"\" for an empty map name)");
    return WorldCommand{tokens[1].text};
  }
  if (keyword == "join") return ParseJoin(tokens);
  if (keyword == "leave") {
    ExpectCount(tokens, 2, "leave ID");
    return LeaveCommand{ParseId("leave", tokens[1])};
  }
  if (keyword == "vanish") {
    ExpectCount(tokens, 2, "vanish ID");
    return VanishCommand{ParseId("vanish", tokens[1])};
  }
  if (keyword == "sleep") {
    ExpectCount(tokens, 2, "sleep MS");
    std::int64_t ms = 0;
    const std::string text = Utf8(tokens[1]);
    if (text.empty() || text[0] == '-' || !ParseDecimal(text, ms) || ms > kLongestSleepMs) {
      throw Rejected("sleep: MS must be a number of milliseconds from 0 to " +
                     std::to_string(kLongestSleepMs) + ", not '" + tokens[1].raw + "'");
    }
    return SleepCommand{std::chrono::milliseconds(ms)};
  }
  if (keyword == "unload") {
    ExpectCount(tokens, 1, "unload");
    return UnloadCommand{};
  }
  if (keyword == "load") {
    ExpectCount(tokens, 1, "load");
    return LoadCommand{};
  }
  if (keyword == "reload") {
    if (tokens.size() > 2) throw Rejected("expected: reload [FILE]");
    return ReloadCommand{tokens.size() == 2 ? Utf8(tokens[1]) : std::string()};
  }
  if (keyword == "quit") {
    ExpectCount(tokens, 1, "quit");
    return QuitCommand{};
  }
  throw Rejected(
      "unknown command '" + keyword +
      "' (commands: world, join, chat, leave, vanish, console, rcon, sleep, unload, load, reload, quit)");
}

}  // namespace

ParsedLine ParseCommand(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  const std::size_t first = SkipBlanks(line, 0);
  if (first == line.size() || line[first] == '#') return {};
  try {
    return ParsedLine{Parse(line), {}};
  } catch (const Rejected& rejected) {
    return ParsedLine{std::nullopt, rejected.what()};
  }
}

}  // namespace devserver
