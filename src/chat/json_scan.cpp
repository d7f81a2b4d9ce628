#include "chat/json_scan.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace palaverlink {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Hex4At(const char* at) {
  int unit = 0;
  for (int i = 0; i < 4; ++i) unit = unit * 16 + HexValue(at[i]);
  return unit;
}

// Roughly the power of ten of a number's leading digit: enough to tell an overflow from an
// underflow, which a conversion reports alike.
long long DecimalMagnitude(std::string_view number) {
  const std::size_t mantissa_end = std::min(number.find_first_of("eE"), number.size());
  const std::string_view mantissa = number.substr(0, mantissa_end);
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::string_view integer = mantissa.substr(0, point);
  long long magnitude = 0;
  const std::size_t first = integer.find_first_not_of("-0");
  if (first != std::string_view::npos) {
    magnitude = static_cast<long long>(integer.size() - first) - 1;
  } else {
    const std::string_view fraction = point < mantissa.size() ? mantissa.substr(point + 1) : "";
    magnitude = -static_cast<long long>(std::min(fraction.find_first_not_of('0'), fraction.size())) - 1;
  }
  if (mantissa_end < number.size()) {
    std::string_view exponent = number.substr(mantissa_end + 1);
    const bool negative = exponent.front() == '-';
    if (exponent.front() == '-' || exponent.front() == '+') exponent.remove_prefix(1);
    long long value = 0;
    for (char c : exponent) value = std::min(value * 10 + (c - '0'), 1000000LL);
    magnitude += negative ? -value : value;
  }
  return magnitude;
}

// nlohmann fails on a number too large for a double; a too small one reads as zero.
bool OverflowsDouble(std::string_view number) {
  double value = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  return result.ec == std::errc::result_out_of_range && DecimalMagnitude(number) > 0;
}

// Bytes that stand for themselves inside a string: printable ASCII but the quote and backslash.
constexpr auto kPlainInString = [] {
  std::array<bool, 256> plain{};
  for (int byte = 0x20; byte < 0x80; ++byte)
    plain[static_cast<std::size_t>(byte)] = byte != '"' && byte != '\\';
  return plain;
}();

// The characters that may follow a backslash, but for 'u'.
constexpr auto kSingleEscape = [] {
  std::array<bool, 256> single{};
  for (char c : {'"', '\\', '/', 'b', 'f', 'n', 'r', 't'}) single[static_cast<unsigned char>(c)] = true;
  return single;
}();

void AppendUtf8(std::string& out, unsigned code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence of two to four bytes at `at` (no overlong forms, no
// surrogates, nothing above U+10FFFF); 0 when none starts there.
int WellFormedSequenceLength(const char* at, const char* end) {
  const auto lead = static_cast<unsigned char>(*at);
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (end - at < length) return 0;
  for (int i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(at[i]);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

bool IsHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The contents of a string the scan has accepted, its escapes decoded; what is not text becomes
// U+FFFD and is counted.
void DecodeString(std::string_view inside, std::string& out, BrokenText& broken) {
  out.clear();
  const char* const end = inside.data() + inside.size();
  for (std::size_t i = 0; i < inside.size(); ++i) {
    const auto byte = static_cast<unsigned char>(inside[i]);
    if (byte >= 0x80) {
      const int length = WellFormedSequenceLength(inside.data() + i, end);
      if (length == 0) {
        out += kReplacement;
        ++broken.invalidUtf8;
      } else {
        out.append(inside.substr(i, static_cast<std::size_t>(length)));
        i += static_cast<std::size_t>(length) - 1;
      }
      continue;
    }
    if (byte != '\\') {
      out += inside[i];
      continue;
    }
    const char c = inside[++i];
    switch (c) {
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'u': {
        unsigned code_point = static_cast<unsigned>(Hex4At(inside.data() + i + 1));
        i += 4;
        const bool paired = IsHighSurrogate(code_point) && i + 6 < inside.size() && inside[i + 1] == '\\' &&
                            inside[i + 2] == 'u' &&
                            IsLowSurrogate(static_cast<unsigned>(Hex4At(inside.data() + i + 3)));
        if (paired) {
          const auto low = static_cast<unsigned>(Hex4At(inside.data() + i + 3));
          code_point = 0x10000 + ((code_point - 0xD800) << 10) + (low - 0xDC00);
          i += 6;
        } else if (IsHighSurrogate(code_point) || IsLowSurrogate(code_point)) {
          out += kReplacement;
          ++broken.loneSurrogates;
          break;
        }
        AppendUtf8(out, code_point);
        break;
      }
      default:
        out += c;  // '"', '\\', '/'
    }
  }
}

}  // namespace

JsonScanner::JsonScanner(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {
  if (text.starts_with("\xEF\xBB\xBF")) at_ += 3;
}

bool JsonScanner::Key(std::string_view& key) {
  SkipBlanks();
  const char* first = at_;
  if (!String()) return false;
  const std::string_view inside(first + 1, static_cast<std::size_t>(at_ - first) - 2);
  if (!escaped_) {
    key = inside;
  } else {
    BrokenText ignored;  // a key with broken text matches none the plug-in reads
    DecodeString(inside, decoded_key_, ignored);
    key = decoded_key_;
  }
  return true;
}

// Plain characters in a run, the common case: eight at a time while none of them is a quote, a
// backslash, a control character or a byte above 0x7F, then one at a time.
void JsonScanner::PlainRun() {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  const char* at = at_;
  const char* const end = end_;
  while (end - at >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, 8);
    const std::uint64_t quote = word ^ (kOnes * '"');
    const std::uint64_t backslash = word ^ (kOnes * '\\');
    // A byte is zero in x exactly when (x - 1) sets its high bit while x's high bit is clear.
    const std::uint64_t special = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                                  ((word - kOnes * 0x20) & ~word) | word;
    if ((special & kHighs) != 0) break;
    at += 8;
  }
  while (at < end && kPlainInString[static_cast<unsigned char>(*at)]) ++at;
  at_ = at;
}

bool JsonScanner::String() {
  escaped_ = false;
  if (at_ == end_ || *at_ != '"') return false;
  ++at_;
  while (at_ < end_) {
    if (kPlainInString[static_cast<unsigned char>(*at_)]) PlainRun();  // not between two escapes
    if (at_ == end_) break;
    const auto byte = static_cast<unsigned char>(*at_);
    if (byte == '"') {
      ++at_;
      return true;
    }
    if (byte < 0x20) return false;
    if (byte == '\\') {
      escaped_ = true;
      if (!Escape()) return false;
    } else {
      Utf8Sequence();
    }
  }
  return false;
}

bool JsonScanner::Escape() {
  const char* at = at_ + 1;
  const char* const end = end_;
  if (at == end) return false;
  const char c = *at++;
  if (c != 'u') {
    at_ = at;
    return kSingleEscape[static_cast<unsigned char>(c)];
  }
  // Four hex digits, and a low surrogate's escape right after a high one.
  auto hex4 = [&](int& unit) {
    if (end - at < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexValue(at[i]);
      if (digit < 0) return false;
      unit = unit * 16 + digit;
    }
    at += 4;
    return true;
  };
  // A surrogate without its other half is taken; the escape after it is one of its own.
  int unit = 0;
  if (!hex4(unit)) return false;
  if (IsHighSurrogate(static_cast<unsigned>(unit)) && end - at >= 6 && at[0] == '\\' && at[1] == 'u') {
    const char* after_high = at;
    at += 2;
    int low = 0;
    if (!hex4(low) || !IsLowSurrogate(static_cast<unsigned>(low))) at = after_high;
  }
  at_ = at;
  return true;
}

// One well-formed UTF-8 sequence, or a byte that starts none (read as U+FFFD when decoded).
void JsonScanner::Utf8Sequence() {
  const int length = WellFormedSequenceLength(at_, end_);
  at_ += length == 0 ? 1 : length;
}

bool JsonScanner::StringValue(std::string& out, BrokenText& broken) {
  SkipBlanks();
  const char* first = at_;
  if (!String()) return false;
  DecodeString(std::string_view(first + 1, static_cast<std::size_t>(at_ - first) - 2), out, broken);
  return true;
}

// Local pointers throughout: the bytes read are chars, which may alias the scanner's own members,
// so working on at_ directly would store and reload it at every byte.
bool JsonScanner::Number() {
  const char* at = at_;
  const char* const end = end_;
  const char* const first = at;
  if (at < end && *at == '-') ++at;
  if (at == end) return false;
  if (*at == '0') {
    ++at;
  } else if (IsDigit(*at)) {
    while (at < end && IsDigit(*at)) ++at;
  } else {
    return false;
  }
  bool plain = true;
  if (at < end && *at == '.') {
    ++at;
    if (at == end || !IsDigit(*at)) return false;
    while (at < end && IsDigit(*at)) ++at;
  }
  if (at < end && (*at == 'e' || *at == 'E')) {
    plain = false;
    ++at;
    if (at < end && (*at == '+' || *at == '-')) ++at;
    if (at == end || !IsDigit(*at)) return false;
    while (at < end && IsDigit(*at)) ++at;
  }
  at_ = at;
  // Only long digit runs or an exponent can reach beyond a double.
  if (plain && at - first < 300) return true;
  return !OverflowsDouble(std::string_view(first, static_cast<std::size_t>(at - first)));
}

bool JsonScanner::Literal(std::string_view word) {
  if (static_cast<std::size_t>(end_ - at_) < word.size() || std::string_view(at_, word.size()) != word) {
    return false;
  }
  at_ += word.size();
  return true;
}

bool JsonScanner::Scalar() {
  switch (*at_) {
    case '"':
      return String();
    case 't':
      return Literal("true");
    case 'f':
      return Literal("false");
    case 'n':
      return Literal("null");
    default:
      return Number();
  }
}

// Without recursion: the containers we are in are kept in open_.
bool JsonScanner::SkipAnyValue() {
  SkipBlanks();
  if (at_ == end_) return false;
  if (*at_ != '{' && *at_ != '[') return Scalar();
  open_.clear();
  for (;;) {
    SkipBlanks();
    if (at_ == end_) return false;
    const char c = *at_;
    if (c == '{' || c == '[') {
      ++at_;
      if (!Take(c == '{' ? '}' : ']')) {
        open_.push_back(c);
        if (c == '{') {
          SkipBlanks();
          if (!String() || !Take(':')) return false;
        }
        continue;
      }
    } else if (!Scalar()) {
      return false;
    }
    // A value is complete: close what it completes, or go on to the next member or element.
    for (;;) {
      if (open_.empty()) return true;
      SkipBlanks();
      if (at_ == end_) return false;
      const char inside = open_.back();
      if (*at_ == ',') {
        ++at_;
        if (inside == '{') {
          SkipBlanks();
          if (!String() || !Take(':')) return false;
        }
        break;
      }
      if (*at_ != (inside == '{' ? '}' : ']')) return false;
      ++at_;
      open_.pop_back();
    }
  }
}

}  // namespace palaverlink
