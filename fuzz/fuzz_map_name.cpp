// Map-name normalisation on any bytes: what the key may hold, and that a directory in front, the
// editor's prefix and the "_P" suffix of a persistent level do not change it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "game/map_id.h"

namespace {

using palaverlink::NormaliseMapName;

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool HasSeparator(std::string_view text) { return text.find_first_of("/\\") != std::string_view::npos; }
bool HasEditorPrefix(std::string_view text) { return text.starts_with("UEDPIE_"); }
bool HasLevelSuffix(std::string_view text) {
  return text.size() >= 2 && AsciiLower(text.substr(text.size() - 2)) == "_p";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::string key = NormaliseMapName(raw);

  FUZZ_CHECK(!HasSeparator(key), "the key keeps a directory: %s", key.c_str());
  FUZZ_CHECK(AsciiLower(key) == key, "the key keeps capitals: %s", key.c_str());
  FUZZ_CHECK(AsciiLower(raw).find(key) != std::string::npos, "the key is not part of the name: %s",
             key.c_str());

  if (HasSeparator(raw)) return 0;
  FUZZ_CHECK(NormaliseMapName("/Game/Maps/" + raw) == key, "a directory changed the key of %s", raw.c_str());
  FUZZ_CHECK(NormaliseMapName("Maps\\" + raw) == key, "a directory changed the key of %s", raw.c_str());
  if (HasEditorPrefix(raw)) return 0;
  if (!raw.empty()) {
    FUZZ_CHECK(NormaliseMapName("UEDPIE_0_" + raw) == key, "the editor prefix changed the key of %s",
               raw.c_str());
  }
  if (HasLevelSuffix(raw)) return 0;
  FUZZ_CHECK(raw.size() < 1 || NormaliseMapName(raw + "_P") == key, "the level suffix changed the key of %s",
             raw.c_str());
  FUZZ_CHECK(key == AsciiLower(raw), "a plain name changed: %s", raw.c_str());
  return 0;
}
