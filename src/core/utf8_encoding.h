// How code points are written as UTF-8 and which byte sequences are well formed, for the readers
// that must agree on it: the JSON scanner and the portable text conversions.
#pragma once

#include <cstdint>

namespace palaverlink {

constexpr bool IsHighSurrogate(char32_t unit) noexcept { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) noexcept { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point of a surrogate pair.
constexpr char32_t CodePointOfPair(char32_t high, char32_t low) noexcept {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// Writes the code point at `out` and returns the end of what it wrote (one to four bytes).
constexpr char* PutUtf8(char* out, char32_t code_point) noexcept {
  auto put = [&out](std::uint32_t byte) { *out++ = static_cast<char>(static_cast<unsigned char>(byte)); };
  const auto cp = static_cast<std::uint32_t>(code_point);
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
  return out;
}

// How many continuation bytes a lead byte announces; 0 for a byte that cannot start a sequence.
constexpr int ContinuationCount(unsigned char lead) noexcept {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

constexpr bool IsContinuation(unsigned char byte) noexcept { return byte >= 0x80 && byte <= 0xBF; }

// Whether the first continuation byte keeps the sequence valid: it rules out overlong forms,
// encoded surrogates and values above U+10FFFF.
constexpr bool SecondByteFits(unsigned char lead, unsigned char second) noexcept {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0;
    case 0xED:
      return second <= 0x9F;
    case 0xF0:
      return second >= 0x90;
    case 0xF4:
      return second <= 0x8F;
    default:
      return true;
  }
}

// The length of the well-formed sequence of two to four bytes at `at`; 0 when none starts there.
constexpr int WellFormedSequenceLength(const char* at, const char* end) noexcept {
  const auto lead = static_cast<unsigned char>(*at);
  const int continuations = ContinuationCount(lead);
  if (continuations == 0 || end - at <= continuations) return 0;
  if (!SecondByteFits(lead, static_cast<unsigned char>(at[1]))) return 0;
  for (int i = 1; i <= continuations; ++i)
    if (!IsContinuation(static_cast<unsigned char>(at[i]))) return 0;
  return continuations + 1;
}

}  // namespace palaverlink
