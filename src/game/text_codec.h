// UTF-16 <-> UTF-8 with the results of Windows' WideCharToMultiByte and MultiByteToWideChar at
// code page 65001 with flags 0: malformed input becomes U+FFFD, never a failure. On Windows these
// call the system; elsewhere a portable converter gives the same results.
#pragma once

#include <string>
#include <string_view>

namespace palaverlink {

// Every unit is converted, zero units included; a lone surrogate becomes EF BF BD.
std::string Utf16ToUtf8(std::u16string_view text);

// Every byte is converted, zero bytes included; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace palaverlink
