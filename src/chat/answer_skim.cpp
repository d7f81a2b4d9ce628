#include "chat/answer_skim.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <vector>

#include "chat/outbound_answer.h"

namespace palaverlink {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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

// The full reading fails on a number too large for a double; a too small one reads as zero.
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

class Skimmer {
 public:
  explicit Skimmer(std::string_view text) : at_(text.data()), end_(text.data() + text.size()) {
    if (text.starts_with("\xEF\xBB\xBF")) at_ += 3;
  }

  SkimmedAnswer Run() {
    SkimmedAnswer answer;
    SkipBlanks();
    if (at_ < end_ && *at_ == '{') {
      answer.shape = SkimShape::kMissingMessages;
      if (!TopObject(answer)) return Unparsable();
    } else {
      if (!SkipValue()) return Unparsable();
      answer.shape = SkimShape::kMissingMessages;
    }
    SkipBlanks();
    if (at_ != end_) return Unparsable();
    if (answer.shape != SkimShape::kMessages) answer.elements.clear();
    return answer;
  }

 private:
  static SkimmedAnswer Unparsable() { return {}; }

  void SkipBlanks() {
    while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r')) ++at_;
  }

  bool Take(char c) {
    SkipBlanks();
    if (at_ == end_ || *at_ != c) return false;
    ++at_;
    return true;
  }

  // The members of an object whose opening brace is at hand; `read_value(key)` reads each value.
  template <typename ReadValue>
  bool Members(ReadValue read_value) {
    ++at_;
    if (Take('}')) return true;
    do {
      std::string_view key;
      std::string decoded;
      if (!Key(key, decoded) || !Take(':')) return false;
      SkipBlanks();
      if (!read_value(key)) return false;
    } while (Take(','));
    return Take('}');
  }

  // The members of the answer object; the last "messages" counts, as in the full reading.
  bool TopObject(SkimmedAnswer& answer) {
    return Members([&](std::string_view key) {
      if (key != "messages") return SkipValue();
      if (at_ < end_ && *at_ == '[') {
        answer.elements.clear();
        answer.shape = SkimShape::kMessages;
        return Messages(answer.elements);
      }
      answer.shape = SkimShape::kMissingMessages;
      return SkipValue();
    });
  }

  bool Messages(std::vector<SkimmedElement>& elements) {
    ++at_;
    if (Take(']')) return true;
    do {
      SkipBlanks();
      SkimmedElement element;
      const char* first = at_;
      if (at_ < end_ && *at_ == '{') {
        if (!Element(element)) return false;
      } else if (!SkipValue()) {
        return false;
      }
      element.text = std::string_view(first, static_cast<std::size_t>(at_ - first));
      elements.push_back(element);
    } while (Take(','));
    return Take(']');
  }

  bool Element(SkimmedElement& element) {
    element.createdAt = 0;
    return Members([&](std::string_view key) {
      const char* value = at_;
      if (!SkipValue()) return false;
      if (key == "createdAt")
        element.createdAt = CreatedAt(std::string_view(value, static_cast<std::size_t>(at_ - value)));
      return true;
    });
  }

  static std::optional<std::int64_t> CreatedAt(std::string_view value) {
    if (value.front() != '-' && !IsDigit(value.front())) return std::nullopt;
    // Whole numbers that surely fit; anything else is read as the full reading reads it.
    std::int64_t whole = 0;
    if (value.size() <= 18) {
      auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), whole);
      if (error == std::errc() && end == value.data() + value.size()) return whole;
    }
    return outbound_detail::ReadMilliseconds(nlohmann::json::parse(value));
  }

  // A member name, as a view into the text; the rare name with escapes is decoded by the library
  // into `decoded`.
  bool Key(std::string_view& key, std::string& decoded) {
    SkipBlanks();
    const char* first = at_;
    bool escaped = false;
    if (!String(escaped)) return false;
    const std::string_view raw(first, static_cast<std::size_t>(at_ - first));
    if (!escaped) {
      key = raw.substr(1, raw.size() - 2);
    } else {
      decoded = nlohmann::json::parse(raw).get<std::string>();
      key = decoded;
    }
    return true;
  }

  bool String(bool& escaped) {
    if (at_ == end_ || *at_ != '"') return false;
    ++at_;
    while (at_ < end_) {
      // Plain characters in a run: the common case, one test each.
      while (at_ < end_ && kPlainInString[static_cast<unsigned char>(*at_)]) ++at_;
      if (at_ == end_) break;
      const auto byte = static_cast<unsigned char>(*at_);
      if (byte == '"') {
        ++at_;
        return true;
      }
      if (byte < 0x20) return false;
      if (byte == '\\') {
        escaped = true;
        if (!Escape()) return false;
      } else if (byte < 0x80) {
        ++at_;
      } else if (!Utf8Sequence()) {
        return false;
      }
    }
    return false;
  }

  bool Escape() {
    ++at_;
    if (at_ == end_) return false;
    const char c = *at_++;
    if (c == '"' || c == '\\' || c == '/' || c == 'b' || c == 'f' || c == 'n' || c == 'r' || c == 't') {
      return true;
    }
    if (c != 'u') return false;
    int unit = 0;
    if (!Hex4(unit)) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit < 0xD800 || unit > 0xDBFF) return true;
    if (end_ - at_ < 2 || at_[0] != '\\' || at_[1] != 'u') return false;
    at_ += 2;
    int low = 0;
    return Hex4(low) && low >= 0xDC00 && low <= 0xDFFF;
  }

  bool Hex4(int& unit) {
    if (end_ - at_ < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = HexValue(*at_++);
      if (digit < 0) return false;
      unit = unit * 16 + digit;
    }
    return true;
  }

  // One well-formed UTF-8 sequence of two to four bytes (no overlong forms, no surrogates, nothing
  // above U+10FFFF).
  bool Utf8Sequence() {
    const auto lead = static_cast<unsigned char>(*at_);
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
      return false;
    }
    if (end_ - at_ < length) return false;
    for (int i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(at_[i]);
      if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return false;
    }
    at_ += length;
    return true;
  }

  bool Number() {
    const char* first = at_;
    if (at_ < end_ && *at_ == '-') ++at_;
    if (at_ == end_) return false;
    if (*at_ == '0') {
      ++at_;
    } else if (IsDigit(*at_)) {
      while (at_ < end_ && IsDigit(*at_)) ++at_;
    } else {
      return false;
    }
    bool plain = true;
    if (at_ < end_ && *at_ == '.') {
      ++at_;
      if (at_ == end_ || !IsDigit(*at_)) return false;
      while (at_ < end_ && IsDigit(*at_)) ++at_;
    }
    if (at_ < end_ && (*at_ == 'e' || *at_ == 'E')) {
      plain = false;
      ++at_;
      if (at_ < end_ && (*at_ == '+' || *at_ == '-')) ++at_;
      if (at_ == end_ || !IsDigit(*at_)) return false;
      while (at_ < end_ && IsDigit(*at_)) ++at_;
    }
    const std::string_view number(first, static_cast<std::size_t>(at_ - first));
    // Only long digit runs or an exponent can reach beyond a double.
    if (plain && number.size() < 300) return true;
    return !OverflowsDouble(number);
  }

  bool Literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - at_) < word.size() || std::string_view(at_, word.size()) != word) {
      return false;
    }
    at_ += word.size();
    return true;
  }

  // Any one value, nested to any depth without recursion.
  bool SkipValue() {
    std::vector<char> open;  // '{' or '[' of each container we are in
    for (;;) {
      SkipBlanks();
      if (at_ == end_) return false;
      const char c = *at_;
      bool escaped = false;
      if (c == '{' || c == '[') {
        ++at_;
        if (Take(c == '{' ? '}' : ']')) {
          // empty container: a complete value
        } else {
          open.push_back(c);
          if (c == '{') {
            SkipBlanks();
            if (!String(escaped) || !Take(':')) return false;
          }
          continue;
        }
      } else if (c == '"') {
        if (!String(escaped)) return false;
      } else if (c == 't') {
        if (!Literal("true")) return false;
      } else if (c == 'f') {
        if (!Literal("false")) return false;
      } else if (c == 'n') {
        if (!Literal("null")) return false;
      } else if (!Number()) {
        return false;
      }
      // A value is complete: close what it completes, or go on to the next member or element.
      for (;;) {
        if (open.empty()) return true;
        SkipBlanks();
        if (at_ == end_) return false;
        const char inside = open.back();
        if (*at_ == ',') {
          ++at_;
          if (inside == '{') {
            SkipBlanks();
            if (!String(escaped) || !Take(':')) return false;
          }
          break;
        }
        if (*at_ != (inside == '{' ? '}' : ']')) return false;
        ++at_;
        open.pop_back();
      }
    }
  }

  const char* at_;
  const char* end_;
};

}  // namespace

SkimmedAnswer SkimOutboundAnswer(std::string_view text) { return Skimmer(text).Run(); }

}  // namespace palaverlink
