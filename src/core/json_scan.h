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

#include "core/json_bytes.h"

namespace palaverlink {

// What a string held that is not text, each read as U+FFFD.
struct BrokenText {
  std::size_t loneSurrogates = 0;  // "\ud83d" without its other half
  std::size_t invalidUtf8 = 0;     // bytes that start no well-formed UTF-8 sequence
  bool Any() const { return loneSurrogates + invalidUtf8 > 0; }
};

// One element of an array, as JsonScanner::Elements hands it over.
struct ScannedElement {
  std::string_view text;  // its JSON text
  bool isObject = false;
  std::string_view member;  // an object's value of the member asked for (the last one); empty: none
};

class JsonScanner {
 public:
  explicit JsonScanner(std::string_view text);

  // The next character after blanks, or '\0' at the end of the text.
  char Peek() {
    SkipBlanks();
    return at_ < end_ ? *at_ : '\0';
  }
  // Where the scan stands: the next value starts here after a Peek.
  const char* Position() const { return at_; }
  // True when only blanks are left.
  bool AtEnd() {
    SkipBlanks();
    return at_ == end_;
  }

  // Any one value, nested to any depth; the small ones without a call.
  bool SkipValue() {
    SkipBlanks();
    if (at_ < end_) {
      if (const char* small = SmallValueFrom(at_, end_)) {
        at_ = small;
        return true;
      }
    }
    return SkipAnyValue();
  }

  // The object whose '{' is next: calls `on_member(key)` with the scan standing at each member's
  // value, which on_member must scan (SkipValue, Object, StringValue). Keys with escapes are decoded.
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

  // The array whose '[' is next, each element handed to `on_element(const ScannedElement&)` with
  // the value of the object member named `member`: one pass with no call per element for the
  // small ones, so that an array of a hundred thousand tiny elements costs no more per byte than
  // one of messages.
  template <typename OnElement>
  bool Elements(std::string_view member, OnElement on_element) {
    const char* const end = end_;
    const char* at = SkipJsonBlanks(at_ + 1, end);
    if (at < end && *at == ']') {
      at_ = at + 1;
      return true;
    }
    for (;;) {
      if (at == end) return false;
      if (static_cast<unsigned char>(*at) <= ' ' && (at = SkipJsonBlanks(at, end)) == end) return false;
      const char* const first = at;
      const bool object = *at == '{';
      std::string_view value;
      if (object) {
        if (end - at >= 2 && at[1] == '}') {
          at += 2;
        } else if ((at = ObjectFrom(at, member, value)) == nullptr) {
          return false;
        }
      } else if (const char* small = SmallValueFrom(at, end)) {
        at = small;
      } else {
        at_ = at;
        if (!SkipAnyValue()) return false;
        at = at_;
      }
      on_element(
          ScannedElement{std::string_view(first, static_cast<std::size_t>(at - first)), object, value});
      // The comma right after the element, the common case, before any blanks.
      if (at < end && *at == ',') {
        ++at;
        continue;
      }
      at = SkipJsonBlanks(at, end);
      if (at == end) return false;
      if (*at != ',') break;
      ++at;
    }
    if (*at != ']') return false;
    at_ = at + 1;
    return true;
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
  // The object whose '{' is at `at`, the value of its last member named `member` kept: where it
  // ends, or null.
  const char* ObjectFrom(const char* at, std::string_view member, std::string_view& value);
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
