// The Windows back end: the system's own conversions at code page 65001 with flags 0, so malformed
// input is replaced, never refused. Both functions answer 0 with an error for an empty input, so an
// empty text never reaches them.
#include "game/text_codec.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <climits>
#include <cstddef>

namespace palaverlink {
namespace {

constexpr UINT kUtf8CodePage = 65001;

bool FitsInt(std::size_t size) { return size <= static_cast<std::size_t>(INT_MAX); }

const wchar_t* AsWide(const char16_t* units) { return reinterpret_cast<const wchar_t*>(units); }
wchar_t* AsWide(char16_t* units) { return reinterpret_cast<wchar_t*>(units); }

// Each byte on its own, taken as a signed 8-bit number: 0..127 keep their value, 128..255 become
// 0xFF80..0xFFFF. Only used when the system refuses the text.
std::u16string WidenBytes(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (const char byte : text) {
    wide.push_back(static_cast<char16_t>(static_cast<signed char>(byte)));
  }
  return wide;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty() || !FitsInt(text.size())) {
    return {};
  }
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(kUtf8CodePage, 0, AsWide(text.data()), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return {};
  }
  std::string utf8(static_cast<std::size_t>(size), '\0');
  const int written =
      WideCharToMultiByte(kUtf8CodePage, 0, AsWide(text.data()), length, utf8.data(), size, nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(written > 0 ? written : 0));
  return utf8;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  if (!FitsInt(text.size())) {
    return WidenBytes(text);
  }
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(kUtf8CodePage, 0, text.data(), length, nullptr, 0);
  if (size < 1) {
    return WidenBytes(text);
  }
  std::u16string wide(static_cast<std::size_t>(size), u'\0');
  const int written = MultiByteToWideChar(kUtf8CodePage, 0, text.data(), length, AsWide(wide.data()), size);
  if (written < 1) {
    return WidenBytes(text);
  }
  wide.resize(static_cast<std::size_t>(written));
  return wide;
}

}  // namespace palaverlink
