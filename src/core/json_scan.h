// A strict JSON scanner that builds nothing: it checks a text against the grammar as it walks it,
// and lets its caller look at the few members it cares about on the way. One pass, no recursion,
// no allocation for ordinary texts: a 1 MiB answer is checked in a fraction of a millisecond.
//
// It accepts what nlohmann::json::parse accepts without comments (no number that overflows a
// double, an optional UTF-8 byte-order mark in front) but for two things. Inside a string it also
// takes what is not text, a lone surrogate escape or bytes that are not UTF-8 (a bot that cut a
// line inside a character sends them), and reads each as U+FFFD: one broken character costs that
// character, not the answer. And nlohmann stops reading at a zero byte, so it takes `{...}`
// followed by a zero byte and anything at all; here that is trailing text like any other.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace palaverlink {

// What a string held that is not text, each read as U+FFFD.
struct BrokenText {
  std::size_t loneSurrogates = 0;  // "\ud83d" without its other half
  std::size_t invalidUtf8 = 0;     // bytes that start no well-formed UTF-8 sequence
  bool Any() const { return loneSurrogates + invalidUtf8 > 0; }
};

// The byte-level pieces that the scanner's inline operations and the rest of it share.
// Past the blanks of the grammar (space, tab, line feed, carriage return) from `at`.
inline const char* SkipJsonBlanks(const char* at, const char* end) {
  while (at < end && static_cast<unsigned char>(*at) <= ' ' &&
         (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r'))
    ++at;
  return at;
}
// A digit from `lowest` to '9', in one comparison.
inline bool IsDigitFrom(char c, char lowest) {
  return static_cast<unsigned char>(c - lowest) <= static_cast<unsigned char>('9' - lowest);
}

class JsonScanner {
 public:
  explicit JsonScanner(std::string_view text);

  // The next character after blanks, or '\0' at the end of the text.
  char Peek() {
    SkipBlanks();
    return at_ < end_ ? *at_ : '\0';
  }
  // The character at the scan's position, without skipping blanks: where Peek, Array and Object
  // have just skipped them, as before each element and member value they hand over.
  char Next() const { return at_ < end_ ? *at_ : '\0'; }
  // Where the scan stands: the next value starts here after a Peek.
  const char* Position() const { return at_; }
  // True when only blanks are left.
  bool AtEnd() {
    SkipBlanks();
    return at_ == end_;
  }

  // Any one value, nested to any depth. A short whole number, the smallest value there is, is
  // read here without a call: an answer of tiny elements costs no more per byte than another.
  bool SkipValue() {
    SkipBlanks();
    const char* at = at_;
    const char* const end = end_;
    if (at < end && IsDigitFrom(*at, '1')) {
      do ++at;
      while (at < end && IsDigitFrom(*at, '0'));
      if (at - at_ < 300 && (at == end || (*at != '.' && (*at | 0x20) != 'e'))) {
        at_ = at;
        return true;
      }
    }
    return SkipAnyValue();
  }

  // The object whose '{' is next: calls `on_member(key)` with the scan standing at each member's
  // value, which on_member must scan (SkipValue, Object, Array). Keys with escapes are decoded.
  template <typename OnMember>
  bool Object(OnMember on_member) {
    ++at_;
    if (Take('}')) return true;
    do {
      std::string_view key;
      if (!Key(key) || !Take(':')) return false;
      Peek();
      if (!on_member(key)) return false;
    } while (Take(','));
    return Take('}');
  }

  // The string whose '"' is next, its escapes decoded into `out`; what is not text in it is
  // counted in `broken`.
  bool StringValue(std::string& out, BrokenText& broken);

  // The array whose '[' is next: calls `on_element()` with the scan standing at each element.
  template <typename OnElement>
  bool Array(OnElement on_element) {
    ++at_;
    if (Take(']')) return true;
    do {
      Peek();
      if (!on_element()) return false;
    } while (Take(','));
    return Take(']');
  }

 private:
  // Inline, like Peek and Take: they run several times for every value of the text.
  void SkipBlanks() { at_ = SkipJsonBlanks(at_, end_); }
  bool Take(char c) {
    SkipBlanks();
    if (at_ == end_ || *at_ != c) return false;
    ++at_;
    return true;
  }
  // Containers SkipValue is inside: `levels` of one kind, '{' or '[', one in another.
  struct OpenRun {
    char kind;
    std::size_t levels;
  };

  bool SkipAnyValue();
  void Open(char kind, std::size_t levels);
  // The string whose '"' is next, between its quotes; `escaped` when it holds an escape.
  bool StringInside(std::string_view& inside, bool& escaped);
  bool Key(std::string_view& key);

  const char* at_;
  const char* end_;
  std::string decoded_key_;    // a key with escapes, decoded
  std::vector<OpenRun> open_;  // kept between calls
};

}  // namespace palaverlink
