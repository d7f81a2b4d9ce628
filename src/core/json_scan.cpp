#include "core/json_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "core/utf8_encoding.h"

namespace palaverlink {
namespace {

// A hex digit's value, or kNotHex.
constexpr std::uint8_t kNotHex = 0x10;
constexpr auto kHexDigit = [] {
  std::array<std::uint8_t, 256> value{};
  value.fill(kNotHex);
  for (int digit = 0; digit < 10; ++digit)
    value[static_cast<std::size_t>('0' + digit)] = static_cast<std::uint8_t>(digit);
  for (int digit = 0; digit < 6; ++digit) {
    value[static_cast<std::size_t>('a' + digit)] = static_cast<std::uint8_t>(10 + digit);
    value[static_cast<std::size_t>('A' + digit)] = static_cast<std::uint8_t>(10 + digit);
  }
  return value;
}();

// The code unit of the four hex digits at `at`, or -1 when one is not a hex digit.
int Hex4At(const char* at) {
  unsigned unit = 0;
  unsigned any_bad = 0;
  for (int i = 0; i < 4; ++i) {
    const unsigned digit = kHexDigit[static_cast<unsigned char>(at[i])];
    any_bad |= digit;
    unit = unit << 4 | (digit & 0xF);
  }
  return (any_bad & kNotHex) != 0 ? -1 : static_cast<int>(unit);
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

// The characters that may follow a backslash, but for 'u'.
constexpr auto kSingleEscape = [] {
  std::array<bool, 256> single{};
  for (char c : {'"', '\\', '/', 'b', 'f', 'n', 'r', 't'}) single[static_cast<unsigned char>(c)] = true;
  return single;
}();

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

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
        char32_t code_point = static_cast<char32_t>(Hex4At(inside.data() + i + 1));
        i += 4;
        const bool paired = IsHighSurrogate(code_point) && i + 6 < inside.size() && inside[i + 1] == '\\' &&
                            inside[i + 2] == 'u' &&
                            IsLowSurrogate(static_cast<unsigned>(Hex4At(inside.data() + i + 3)));
        if (paired) {
          code_point = CodePointOfPair(code_point, static_cast<char32_t>(Hex4At(inside.data() + i + 3)));
          i += 6;
        } else if (IsHighSurrogate(code_point) || IsLowSurrogate(code_point)) {
          out += kReplacement;
          ++broken.loneSurrogates;
          break;
        }
        char encoded[4];
        out.append(encoded, PutUtf8(encoded, code_point));
        break;
      }
      default:
        out += c;  // '"', '\\', '/'
    }
  }
}

// The escape whose backslash is at `at`: where it ends, or null when it is none. A surrogate
// without its other half is taken; the escape after it is one of its own.
const char* EscapeFrom(const char* at, const char* end) {
  if (end - at < 2) return nullptr;
  const char c = at[1];
  if (c != 'u') return kSingleEscape[static_cast<unsigned char>(c)] ? at + 2 : nullptr;
  at += 2;
  if (end - at < 4) return nullptr;
  const int unit = Hex4At(at);
  if (unit < 0) return nullptr;
  at += 4;
  if (IsHighSurrogate(static_cast<unsigned>(unit)) && end - at >= 6 && at[0] == '\\' && at[1] == 'u') {
    const int low = Hex4At(at + 2);
    if (low >= 0 && IsLowSurrogate(static_cast<unsigned>(low))) at += 6;
  }
  return at;
}

// The rest of a string from `at`, inside it: where it ends, or null. `escaped` is set when it holds
// an escape. What is not text (a byte that starts no UTF-8 sequence) is taken, one byte at a time.
const char* StringRestFrom(const char* at, const char* end, bool& escaped) {
  for (;;) {
    if (at < end && kPlainInJsonString[static_cast<unsigned char>(*at)]) at = PlainRunFrom(at, end);
    if (at == end) return nullptr;
    const auto byte = static_cast<unsigned char>(*at);
    if (byte == '"') return at + 1;
    if (byte == '\\') {
      escaped = true;
      at = EscapeFrom(at, end);
      if (at == nullptr) return nullptr;
    } else if (byte < 0x20) {
      return nullptr;
    } else {
      const int length = WellFormedSequenceLength(at, end);
      at += length == 0 ? 1 : length;
    }
  }
}

// The string whose quote is at `at`: where it ends, or null.
const char* StringFrom(const char* at, const char* end, bool& escaped) {
  return StringRestFrom(at + 1, end, escaped);
}

// The same, the plain run at its start read inline: most strings are that run alone.
const char* StringWithPlainStartFrom(const char* at, const char* end, bool& escaped) {
  const char* const stop = PlainRunFrom(at + 1, end);
  return stop < end && *stop == '"' ? stop + 1 : StringRestFrom(stop, end, escaped);
}

// The end of the key whose quote is at `at` when it is short and all plain characters, as the keys
// of a message are; null for any other, which may still be well formed. A byte at a time: for a key
// of a few bytes that is quicker than a word at a time.
const char* ShortPlainKeyFrom(const char* at, const char* end) {
  const char* const stop = at + std::min<std::ptrdiff_t>(end - at, 32);
  for (++at; at < stop && kPlainInJsonString[static_cast<unsigned char>(*at)];) ++at;
  return at < stop && *at == '"' ? at + 1 : nullptr;
}

const char* NumberFrom(const char* at, const char* end) {
  const char* const first = at;
  if (at < end && *at == '-') ++at;
  if (at == end) return nullptr;
  if (*at == '0') {
    ++at;
  } else if (IsDigitFrom(*at, '0')) {
    at = DigitRunFrom(at, end);
  } else {
    return nullptr;
  }
  bool plain = true;
  if (at < end && *at == '.') {
    ++at;
    if (at == end || !IsDigitFrom(*at, '0')) return nullptr;
    at = DigitRunFrom(at, end);
  }
  if (at < end && (*at == 'e' || *at == 'E')) {
    plain = false;
    ++at;
    if (at < end && (*at == '+' || *at == '-')) ++at;
    if (at == end || !IsDigitFrom(*at, '0')) return nullptr;
    at = DigitRunFrom(at, end);
  }
  // Only long digit runs or an exponent can reach beyond a double.
  if (plain && at - first < 300) return at;
  return OverflowsDouble(std::string_view(first, static_cast<std::size_t>(at - first))) ? nullptr : at;
}

const char* LiteralFrom(const char* at, const char* end, std::string_view word) {
  if (static_cast<std::size_t>(end - at) < word.size() || std::string_view(at, word.size()) != word) {
    return nullptr;
  }
  return at + word.size();
}

// Any value but an object or an array, which starts at `at` (before the end).
const char* ScalarFrom(const char* at, const char* end) {
  bool escaped = false;
  switch (*at) {
    case '"':
      return StringFrom(at, end, escaped);
    case 't':
      return LiteralFrom(at, end, "true");
    case 'f':
      return LiteralFrom(at, end, "false");
    case 'n':
      return LiteralFrom(at, end, "null");
    default:
      return NumberFrom(at, end);
  }
}

// A member's key and its colon, from the key's quote: where the value starts (blanks skipped), or
// null.
const char* KeyAndColonFrom(const char* at, const char* end) {
  bool escaped = false;
  if (at == end || *at != '"' || (at = StringFrom(at, end, escaped)) == nullptr) return nullptr;
  at = SkipJsonBlanks(at, end);
  if (at == end || *at != ':') return nullptr;
  return at + 1;
}

// How many bytes from `at` are `c`: eight at a time, for the long runs of brackets a deeply
// nested value is made of.
std::size_t RunOf(const char* at, const char* end, char c) {
  const char* const first = at;
  const std::uint64_t eight = 0x0101010101010101ULL * static_cast<unsigned char>(c);
  while (end - at >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, 8);
    if (word != eight) break;
    at += 8;
  }
  while (at < end && *at == c) ++at;
  return static_cast<std::size_t>(at - first);
}

}  // namespace

JsonScanner::JsonScanner(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {
  if (text.starts_with("\xEF\xBB\xBF")) at_ += 3;
}

bool JsonScanner::StringInside(std::string_view& inside, bool& escaped) {
  SkipBlanks();
  const char* first = at_;
  if (first == end_ || *first != '"') return false;
  const char* after = StringFrom(first, end_, escaped);
  if (after == nullptr) return false;
  at_ = after;
  inside = std::string_view(first + 1, static_cast<std::size_t>(after - first) - 2);
  return true;
}

bool JsonScanner::Key(std::string_view& key) {
  bool escaped = false;
  if (!StringInside(key, escaped)) return false;
  if (escaped) {
    BrokenText ignored;  // a key with broken text matches none the plug-in reads
    DecodeString(key, decoded_key_, ignored);
    key = decoded_key_;
  }
  return true;
}

bool JsonScanner::StringValue(std::string& out, BrokenText& broken) {
  std::string_view inside;
  bool escaped = false;
  if (!StringInside(inside, escaped)) return false;
  DecodeString(inside, out, broken);
  return true;
}

const char* JsonScanner::ObjectFrom(const char* at, std::string_view member, std::string_view& value) {
  const char* const end = end_;
  at = SkipJsonBlanks(at + 1, end);
  if (at < end && *at == '}') return at + 1;
  for (;;) {
    bool escaped = false;
    const char* const key_first = at;
    if (at == end || *at != '"') return nullptr;
    if (const char* plain = ShortPlainKeyFrom(at, end)) {
      at = plain;
    } else if ((at = StringFrom(at, end, escaped)) == nullptr) {
      return nullptr;
    }
    std::string_view key(key_first + 1, static_cast<std::size_t>(at - key_first) - 2);
    if (escaped) {
      BrokenText ignored;  // a key with broken text matches none the plug-in reads
      DecodeString(key, decoded_key_, ignored);
      key = decoded_key_;
    }
    at = SkipJsonBlanks(at, end);
    if (at == end || *at != ':') return nullptr;
    at = SkipJsonBlanks(at + 1, end);
    if (at == end) return nullptr;
    const char* const value_first = at;
    // A member's number is most often a stamp of thirteen digits: taken eight at a time. A string
    // is read here whatever it holds (null: not well formed, as the full reading finds again).
    bool value_escaped = false;
    const char* small = *at == '"'              ? StringWithPlainStartFrom(at, end, value_escaped)
                        : IsDigitFrom(*at, '1') ? WholeNumberEnd(at, DigitRunFrom(at + 1, end), end)
                                                : SmallValueFrom(at, end);
    if (small != nullptr) {
      at = small;
    } else {
      at_ = at;
      if (!SkipAnyValue()) return nullptr;
      at = at_;
    }
    if (SameBytes(key, member))
      value = std::string_view(value_first, static_cast<std::size_t>(at - value_first));
    at = SkipJsonBlanks(at, end);
    if (at == end) return nullptr;
    if (*at == '}') return at + 1;
    if (*at != ',') return nullptr;
    at = SkipJsonBlanks(at + 1, end);
  }
}

void JsonScanner::Open(char kind, std::size_t levels) {
  if (!open_.empty() && open_.back().kind == kind) {
    open_.back().levels += levels;
  } else {
    open_.push_back({kind, levels});
  }
}

// Without recursion: the containers we are in are kept in open_, a run of one kind as one entry.
// Local pointers throughout: the bytes read are chars, which may alias the scanner's own members,
// so working on at_ directly would store and reload it at every byte.
bool JsonScanner::SkipAnyValue() {
  const char* const end = end_;
  const char* at = at_;
  open_.clear();
  for (;;) {
    // A value starts here.
    at = SkipJsonBlanks(at, end);
    if (at == end) return false;
    const char c = *at;
    if (c == '[' && end - at > 1 && at[1] == '[') {
      // All but the last of a run of '[' open an array whose first element is the next.
      const std::size_t run = RunOf(at, end, '[');
      Open('[', run - 1);
      at += run - 1;
    }
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      at = SkipJsonBlanks(at + 1, end);
      if (at < end && *at == close) {
        ++at;
      } else {
        Open(c, 1);
        if (c == '{' && (at = KeyAndColonFrom(at, end)) == nullptr) return false;
        continue;
      }
    } else if ((at = ScalarFrom(at, end)) == nullptr) {
      return false;
    }
    // A value is complete: close what it completes, or go on to the next member or element.
    for (;;) {
      if (open_.empty()) {
        at_ = at;
        return true;
      }
      at = SkipJsonBlanks(at, end);
      if (at == end) return false;
      OpenRun& inside = open_.back();
      if (*at == ',') {
        ++at;
        if (inside.kind == '{' && (at = KeyAndColonFrom(SkipJsonBlanks(at, end), end)) == nullptr)
          return false;
        break;
      }
      if (*at != (inside.kind == '{' ? '}' : ']')) return false;
      // A run of ']' closes as many arrays of the run at once.
      const std::size_t closed = inside.kind == '[' ? std::min(RunOf(at, end, ']'), inside.levels) : 1;
      at += closed;
      inside.levels -= closed;
      if (inside.levels == 0) open_.pop_back();
    }
  }
}

}  // namespace palaverlink
