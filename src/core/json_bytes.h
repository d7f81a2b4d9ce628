// The byte-level pieces of the JSON grammar that the scanner's inline operations, the rest of it
// and the readers of its numbers share. Each takes the text as a pointer and its end, and reads
// nothing past the end.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace palaverlink {

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
// Eight bytes from `at` as one word, the first in the lowest byte.
inline std::uint64_t EightBytesAt(const char* at) {
  std::uint64_t word = 0;
  std::memcpy(&word, at, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}
// The bytes of the word that are not digits, each marked by its high bit; the lowest mark is the
// first such byte (a mark may follow it falsely, never come before it). '0' to '9' are 0x30 to
// 0x39: after the XOR a digit is 0 to 9, and adding 0x76 sets the high bit of anything above.
inline std::uint64_t NonDigitBytes(std::uint64_t word) {
  const std::uint64_t x = word ^ 0x3030303030303030ULL;
  return ((x + 0x7676767676767676ULL) | x) & 0x8080808080808080ULL;
}
// The value of eight digits in a word, the first the most significant: in three steps of pairs,
// where a digit at a time is a chain of eight multiplications.
inline std::uint64_t EightDigitsValue(std::uint64_t word) {
  word -= 0x3030303030303030ULL;
  word = word * 10 + (word >> 8);
  return ((word & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32)) +
          ((word >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32))) >>
         32;
}
// Past the digits from `at`: eight bytes a step, the first that is not a digit found in the step
// that holds it; near the end one at a time.
inline const char* DigitRunFrom(const char* at, const char* end) {
  while (end - at >= 8) {
    if (const std::uint64_t stop = NonDigitBytes(EightBytesAt(at)); stop != 0)
      return at + std::countr_zero(stop) / 8;
    at += 8;
  }
  while (at < end && IsDigitFrom(*at, '0')) ++at;
  return at;
}
// Bytes that stand for themselves inside a string: printable ASCII but the quote and backslash.
inline constexpr auto kPlainInJsonString = [] {
  std::array<bool, 256> plain{};
  for (int byte = 0x20; byte < 0x80; ++byte)
    plain[static_cast<std::size_t>(byte)] = byte != '"' && byte != '\\';
  return plain;
}();
// What may follow the whole part of a number: its fraction or its exponent.
inline constexpr auto kNumberGoesOn = [] {
  std::array<bool, 256> goes_on{};
  for (char c : {'.', 'e', 'E'}) goes_on[static_cast<unsigned char>(c)] = true;
  return goes_on;
}();
// `at` when the digits from `first` up to it are a whole number, not the start of a fraction or
// exponent; null otherwise. Anything longer could overflow a double, which the full reading refuses.
inline const char* WholeNumberEnd(const char* first, const char* at, const char* end) {
  if (at == end) return at - first < 300 ? at : nullptr;
  if (kNumberGoesOn[static_cast<unsigned char>(*at)] || at - first >= 300) return nullptr;
  return at;
}
// Plain characters in a run, the common case: eight at a time up to the first that is a quote, a
// backslash, a control character or a byte above 0x7F, then one at a time near the end.
inline const char* PlainRunFrom(const char* at, const char* end) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  while (end - at >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, 8);
    const std::uint64_t quote = word ^ (kOnes * '"');
    const std::uint64_t backslash = word ^ (kOnes * '\\');
    // A byte is zero in x when (x - 1) sets its high bit while x's high bit is clear; the borrow
    // may mark bytes after a zero one too, never one before it, so the lowest mark is exact.
    const std::uint64_t special = (((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                                   ((word - kOnes * 0x20) & ~word) | word) &
                                  kHighs;
    if (special != 0) {
      if constexpr (std::endian::native == std::endian::little) return at + std::countr_zero(special) / 8;
      break;
    }
    at += 8;
  }
  while (at < end && kPlainInJsonString[static_cast<unsigned char>(*at)]) ++at;
  return at;
}

// The end of the string whose quote is at `at` when all its characters are plain, as most keys and
// many strings are; null for any other, which may still be well formed.
inline const char* PlainStringFrom(const char* at, const char* end) {
  at = PlainRunFrom(at + 1, end);
  return at < end && *at == '"' ? at + 1 : nullptr;
}
// The end of the small value at `at` (before the end) that needs no more than a glance: an empty
// object or array, a whole number without a fraction or exponent, a literal, a string of plain
// characters; null for any other value, which may still be well formed. Always inline: it
// is the whole work for most elements of an array of tiny ones.
[[gnu::always_inline]] inline const char* SmallValueFrom(const char* at, const char* end) {
  const char c = *at;
  const std::ptrdiff_t left = end - at;
  if (IsDigitFrom(c, '1')) {
    // One byte at a time: the branches run ahead of the bytes, where a word's mask would make
    // each element wait for the one before.
    const char* const first = at;
    do ++at;
    while (at < end && IsDigitFrom(*at, '0'));
    return WholeNumberEnd(first, at, end);
  }
  if (c == '0') {
    // A digit after it makes no JSON number: the full reading reports it.
    if (left > 1 && IsDigitFrom(at[1], '0')) return nullptr;
    return WholeNumberEnd(at, at + 1, end);
  }
  if (left >= 2 && ((c == '{' && at[1] == '}') || (c == '[' && at[1] == ']'))) return at + 2;
  if (c == '"') return PlainStringFrom(at, end);
  if (left >= 4 &&
      ((c == 'n' && std::memcmp(at, "null", 4) == 0) || (c == 't' && std::memcmp(at, "true", 4) == 0)))
    return at + 4;
  if (left >= 5 && c == 'f' && std::memcmp(at, "false", 5) == 0) return at + 5;
  return nullptr;
}

// Equal texts, the short ones by two loads each instead of a call: keys, and a run of repeats of a
// tiny element. Up to three bytes, the first, the middle and the last are all of them.
inline bool SameBytes(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  if (n > 8) return a == b;
  const auto four = [](const char* at) {
    std::uint32_t word = 0;
    std::memcpy(&word, at, 4);
    return word;
  };
  if (n >= 4) return four(a.data()) == four(b.data()) && four(a.data() + n - 4) == four(b.data() + n - 4);
  return n == 0 || (a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1]);
}

}  // namespace palaverlink
