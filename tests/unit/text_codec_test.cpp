#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "game/text_codec.h"
#include "text_vectors.h"

namespace palaverlink::testing {
namespace {

// Both sides as hex, so a failure shows the units that differ.
std::string Hex(std::string_view bytes) {
  std::string out;
  char unit[4];
  for (char byte : bytes) {
    std::snprintf(unit, sizeof unit, "%02X ", static_cast<unsigned>(static_cast<unsigned char>(byte)));
    out += unit;
  }
  return out;
}

std::string Hex(std::u16string_view units) {
  std::string out;
  char text[6];
  for (char16_t unit : units) {
    std::snprintf(text, sizeof text, "%04X ", static_cast<unsigned>(unit));
    out += text;
  }
  return out;
}

}  // namespace

void PrintTo(const TextVector& vector, std::ostream* out) { *out << vector.name; }

namespace {

class TextConversion : public ::testing::TestWithParam<TextVector> {};

TEST_P(TextConversion, MatchesTheSystemConversion) {
  const TextVector& vector = GetParam();
  if (vector.direction != Direction::kUtf16ToUtf8) {
    EXPECT_EQ(Hex(Utf8ToUtf16(vector.utf8)), Hex(vector.utf16)) << "from UTF-8 " << Hex(vector.utf8);
  }
  if (vector.direction != Direction::kUtf8ToUtf16) {
    EXPECT_EQ(Hex(Utf16ToUtf8(vector.utf16)), Hex(vector.utf8)) << "from UTF-16 " << Hex(vector.utf16);
  }
}

std::string VectorName(const ::testing::TestParamInfo<TextVector>& info) {
  std::string name;
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Vectors, TextConversion, ::testing::ValuesIn(TextVectors()), VectorName);

TEST(TextConversion, EveryUnitRoundTripsExceptSurrogates) {
  for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const std::u16string text(1, static_cast<char16_t>(unit));
    const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), surrogate ? u"\uFFFD" : text) << Hex(text);
  }
}

}  // namespace
}  // namespace palaverlink::testing
