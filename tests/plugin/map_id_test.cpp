#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "component_fixture.h"
#include "game/map_id.h"

namespace palaverlink::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class MapIdentification : public ComponentFixture {};

TEST_F(MapIdentification, ConfiguredIdIsUsedVerbatimWithoutAWorld) {
  ApplyConfig({{"MapId", "TheIsland"}});
  EXPECT_TRUE(EnsureMapId());
  EXPECT_EQ(MapId(), "TheIsland");
  EXPECT_THAT(PluginLog(), IsEmpty());
  EXPECT_EQ(game().CallCount("UWorld.GetMapName"), 0);
}

TEST_F(MapIdentification, WaitsSilentlyForAWorldWithAMapName) {
  EXPECT_FALSE(EnsureMapId());
  game().CreateWorld(u"");
  EXPECT_FALSE(EnsureMapId());
  EXPECT_THAT(PluginLog(), IsEmpty());
  EXPECT_EQ(MapId(), "");
  game().DestroyWorld();

  game().CreateWorld(u"TheIsland");
  EXPECT_TRUE(EnsureMapId());
  EXPECT_TRUE(EnsureMapId());
  EXPECT_EQ(MapId(), "the-island");
  EXPECT_EQ(game().CallCount("UWorld.GetMapName"), 2);  // the empty name, then the detection
  EXPECT_THAT(PluginLog(), ElementsAre(Info("Palaverlink detected map 'TheIsland' -> MapId 'the-island'.")));
}

struct Detection {
  std::u16string raw;
  std::string raw_utf8;
  std::string id;
  bool known;
};

void PrintTo(const Detection& detection, std::ostream* out) { *out << detection.raw_utf8; }

std::string DetectionName(const ::testing::TestParamInfo<Detection>& param_info) {
  std::string name = "name" + std::to_string(param_info.index) + "_";
  for (char c : param_info.param.raw_utf8) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

class MapDetection : public ComponentFixture, public ::testing::WithParamInterface<Detection> {};

TEST_P(MapDetection, DetectsOnceAndLogsTheOutcome) {
  const Detection& detection = GetParam();
  game().CreateWorld(detection.raw);
  ASSERT_TRUE(EnsureMapId());
  EXPECT_EQ(MapId(), detection.id);
  const PluginLine detected =
      Info("Palaverlink detected map '" + detection.raw_utf8 + "' -> MapId '" + detection.id + "'.");
  if (detection.known) {
    EXPECT_THAT(PluginLog(), ElementsAre(detected));
  } else {
    EXPECT_THAT(PluginLog(),
                ElementsAre(Warning("Palaverlink: unknown map '" + detection.raw_utf8 + "' - using MapId '" +
                                    detection.id + "'. Set MapId in config.json to override."),
                            detected));
  }
  const std::size_t lines = PluginLog().size();
  EXPECT_TRUE(EnsureMapId());
  EXPECT_EQ(PluginLog().size(), lines);
}

INSTANTIATE_TEST_SUITE_P(
    MapNames, MapDetection,
    ::testing::Values(Detection{u"TheIsland", "TheIsland", "the-island", true},
                      Detection{u"UEDPIE_0_TheIsland_P", "UEDPIE_0_TheIsland_P", "the-island", true},
                      Detection{u"/Game/Maps/Ragnarok_P", "/Game/Maps/Ragnarok_P", "ragnarok", true},
                      Detection{u"Maps\\Genesis2", "Maps\\Genesis2", "genesis-part-2", true},
                      Detection{u"Gen2", "Gen2", "genesis-part-2", true},
                      Detection{u"MyCustomMap_P", "MyCustomMap_P", "mycustommap", false},
                      Detection{u"uedpie_0_TheIsland", "uedpie_0_TheIsland", "uedpie_0_theisland", false},
                      Detection{u"UEDPIE_", "UEDPIE_", "uedpie_", false},
                      Detection{u"UEDPIE_Foo", "UEDPIE_Foo", "uedpie_foo", false},
                      Detection{u"_p", "_p", "_p", false}, Detection{u"A_P", "A_P", "a", false},
                      Detection{u"\u00C5sgard_P", "\xC3\x85sgard_P", "\xC3\x85sgard", false}),
    DetectionName);

TEST_F(MapIdentification, NameWithoutAnIdWarnsOnceAndIsNeverUsed) {
  game().CreateWorld(u"/Game/Maps/");
  for (int call = 0; call < 3; ++call) EXPECT_FALSE(EnsureMapId());
  EXPECT_EQ(MapId(), "");
  const PluginLine warning = Warning(
      "Palaverlink: unknown map '/Game/Maps/' - using MapId ''. Set MapId in config.json to override.");
  EXPECT_THAT(PluginLog(), ElementsAre(warning));

  game().DestroyWorld();
  game().CreateWorld(u"UEDPIE_3_");
  EXPECT_FALSE(EnsureMapId());
  EXPECT_FALSE(EnsureMapId());
  EXPECT_THAT(
      PluginLog(),
      ElementsAre(warning, Warning("Palaverlink: unknown map 'UEDPIE_3_' - using MapId ''. Set MapId in "
                                   "config.json to override.")));

  game().DestroyWorld();
  game().CreateWorld(u"Fjordur");
  EXPECT_TRUE(EnsureMapId());
  EXPECT_EQ(MapId(), "fjordur");
}

TEST_F(MapIdentification, ReturnsTheMapNameBufferToTheGame) {
  game().CreateWorld(u"ScorchedEarth_P");
  const std::size_t live = game().Allocator().LiveCount();
  ASSERT_TRUE(EnsureMapId());
  EXPECT_EQ(game().Allocator().LiveCount(), live);
  EXPECT_EQ(MapId(), "scorched-earth");
}

}  // namespace
}  // namespace palaverlink::testing
