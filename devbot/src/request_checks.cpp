#include "devbot/request_checks.h"

#include <algorithm>
#include <cctype>

namespace devbot {
namespace {

char LowerAscii(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view left, std::string_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

}  // namespace

bool CaseInsensitiveLess::operator()(std::string_view left, std::string_view right) const {
  return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                      [](char a, char b) { return LowerAscii(a) < LowerAscii(b); });
}

bool HasBearerKey(const Headers& headers, const std::string& key) {
  if (headers.count("Authorization") != 1) return false;
  return headers.find("Authorization")->second == "Bearer " + key;
}

bool IsJsonContentType(const Headers& headers) {
  auto found = headers.find("Content-Type");
  if (found == headers.end()) return false;
  std::string_view value = found->second;
  value = TrimBlanks(value.substr(0, value.find(';')));
  return EqualsIgnoringCase(value, "application/json");
}

bool IsLoopbackAddress(std::string_view address) {
  constexpr std::string_view kMappedPrefix = "::ffff:";
  if (address.size() > kMappedPrefix.size() && EqualsIgnoringCase(address.substr(0, 7), kMappedPrefix)) {
    address.remove_prefix(kMappedPrefix.size());
  }
  return address == "::1" || address.starts_with("127.");
}

}  // namespace devbot
