#include <gtest/gtest.h>

#include <string>

#include "game/map_id.h"

namespace palaverlink::testing {
namespace {

struct MapNameCase {
  std::string raw;
  std::string key;
  std::string id;  // empty when the key is not a known map
};

TEST(NormaliseMapName, GivesTheLookupKeyAndKnownId) {
  const MapNameCase cases[] = {
      {"TheIsland", "theisland", "the-island"},
      {"UEDPIE_0_TheIsland_P", "theisland", "the-island"},
      {"/Game/Maps/Ragnarok_P", "ragnarok", "ragnarok"},
      {"Maps\\Genesis2", "genesis2", "genesis-part-2"},
      {"Gen2", "gen2", "genesis-part-2"},
      {"Genesis", "genesis", "genesis-part-1"},
      {"/Game/Maps\\ScorchedEarth_P", "scorchedearth", "scorched-earth"},
      {"MyCustomMap_P", "mycustommap", ""},
      {"uedpie_0_TheIsland", "uedpie_0_theisland", ""},
      {"UEDPIE_", "uedpie_", ""},
      {"UEDPIE_Foo", "uedpie_foo", ""},
      {"UEDPIE_0_", "", ""},
      {"Maps/", "", ""},
      {"_p", "_p", ""},
      {"A_P", "a", ""},
      {"x_p_p", "x_p", ""},
      {"The Island", "the island", ""},
      {"ZigZAG_Z_P", "zigzag_z", ""},
      {"\xC3\x84rger_P", "\xC3\x84rger", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw);
    const std::string key = NormaliseMapName(c.raw);
    EXPECT_EQ(key, c.key);
    const auto row = KnownMapIds().find(key);
    if (c.id.empty()) {
      EXPECT_EQ(row, KnownMapIds().end());
    } else {
      ASSERT_NE(row, KnownMapIds().end());
      EXPECT_EQ(row->second, c.id);
    }
  }
}

TEST(KnownMapIds, HoldsTheFifteenMaps) {
  const std::pair<const char*, const char*> rows[] = {
      {"theisland", "the-island"},    {"thecenter", "the-center"},       {"scorchedearth", "scorched-earth"},
      {"ragnarok", "ragnarok"},       {"aberration", "aberration"},      {"extinction", "extinction"},
      {"valguero", "valguero"},       {"genesis", "genesis-part-1"},     {"gen2", "genesis-part-2"},
      {"genesis2", "genesis-part-2"}, {"crystalisles", "crystal-isles"}, {"lostisland", "lost-island"},
      {"fjordur", "fjordur"},         {"aquatica", "aquatica"},          {"primitiveplus", "primitive-plus"},
  };
  EXPECT_EQ(KnownMapIds().size(), std::size(rows));
  for (const auto& [key, id] : rows) {
    const auto row = KnownMapIds().find(key);
    ASSERT_NE(row, KnownMapIds().end()) << key;
    EXPECT_EQ(row->second, id);
  }
}

}  // namespace
}  // namespace palaverlink::testing
