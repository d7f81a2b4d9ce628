// What the plug-in reads in a JSON text that a full parse refuses: inside strings, a lone surrogate
// escape and every byte that starts no well-formed UTF-8 sequence read as U+FFFD. Tests and fuzz
// targets mend a text this way before they compare with a full parse.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace palaverlink::testing {

namespace mended_json_detail {

inline int Hex4(std::string_view text, std::size_t at) {
  if (at + 4 > text.size()) return -1;
  int unit = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

// The length of the UTF-8 sequence at `at` by the Unicode standard's table 3-7; 0 when ill-formed.
inline std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) -> unsigned {
    return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0U;
  };
  const unsigned lead = byte(0);
  const auto in = [](unsigned b, unsigned low, unsigned high) { return b >= low && b <= high; };
  if (in(lead, 0xC2, 0xDF)) return in(byte(1), 0x80, 0xBF) ? 2 : 0;
  if (in(lead, 0xE0, 0xEF)) {
    const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : 0xBF;
    return in(byte(1), low, high) && in(byte(2), 0x80, 0xBF) ? 3 : 0;
  }
  if (in(lead, 0xF0, 0xF4)) {
    const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
    return in(byte(1), low, high) && in(byte(2), 0x80, 0xBF) && in(byte(3), 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

}  // namespace mended_json_detail

inline std::string MendedForFullParse(std::string_view text) {
  using mended_json_detail::Hex4;
  const auto surrogate = [](int unit, int first) { return unit >= first && unit <= first + 0x3FF; };
  std::string out;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!in_string || c == '"') {
      in_string = in_string ? false : c == '"';
      out += text[i];
    } else if (c == '\\') {
      const int unit = i + 1 < text.size() && text[i + 1] == 'u' ? Hex4(text, i + 2) : -1;
      const bool paired = surrogate(unit, 0xD800) && i + 7 < text.size() && text[i + 6] == '\\' &&
                          text[i + 7] == 'u' && surrogate(Hex4(text, i + 8), 0xDC00);
      if (paired) {
        out += text.substr(i, 12);
        i += 11;
      } else if (surrogate(unit, 0xD800) || surrogate(unit, 0xDC00)) {
        out += "\\uFFFD";
        i += 5;
      } else {
        out += text.substr(i, 2);
        ++i;
      }
    } else if (c >= 0x80) {
      const std::size_t length = mended_json_detail::SequenceLength(text, i);
      out += length == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(i, length);
      if (length > 0) i += length - 1;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace palaverlink::testing
