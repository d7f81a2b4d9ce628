// docs/config.example.json, read by the plug-in's own reader: it must hold every key the reader
// knows, each with its built-in default, and nothing else, so that it cannot fall behind the code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "core/settings.h"

namespace palaverlink::testing {
namespace {

const std::filesystem::path kSourceDir = PALAVERLINK_SOURCE_DIR;

nlohmann::json ReadExample() {
  std::ifstream file(kSourceDir / "docs" / "config.example.json");
  EXPECT_TRUE(file.is_open());
  return ParseConfig(file);
}

// A key the reader knows fails on a value of the wrong type; an array is wrong for every type.
bool ReaderKnows(const std::string& key) {
  PluginSettings settings;
  try {
    ReadSettings(nlohmann::json{{key, nlohmann::json::array()}}, settings);
  } catch (const std::exception&) {
    return true;
  }
  return false;
}

// The keys the reader knows, found among the PascalCase string literals of the plug-in's sources.
std::set<std::string> KeysTheReaderKnows() {
  const std::regex literal("\"([A-Z][A-Za-z0-9]*)\"");
  std::set<std::string> keys;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kSourceDir / "src")) {
    const auto extension = entry.path().extension();
    if (extension != ".cpp" && extension != ".h") continue;
    std::ifstream file(entry.path());
    std::stringstream text;
    text << file.rdbuf();
    const std::string source = text.str();
    for (std::sregex_iterator it(source.begin(), source.end(), literal), end; it != end; ++it) {
      if (ReaderKnows((*it)[1])) keys.insert((*it)[1]);
    }
  }
  return keys;
}

TEST(ConfigExample, HoldsEveryKeyTheReaderKnowsAndNothingElse) {
  const nlohmann::json example = ReadExample();
  ASSERT_TRUE(example.is_object());
  std::set<std::string> in_example;
  for (const auto& [key, value] : example.items()) in_example.insert(key);

  const std::set<std::string> known = KeysTheReaderKnows();
  ASSERT_TRUE(known.contains("BridgeUrl")) << "the search for the reader's keys found too little";
  EXPECT_EQ(in_example, known);
}

TEST(ConfigExample, EveryValueIsTheBuiltInDefault) {
  PluginSettings read;
  ReadSettings(ReadExample(), read);
  EXPECT_TRUE(read == PluginSettings{}) << "a value in docs/config.example.json differs from the default";

  // The comparison sees a changed value: otherwise a stale example could hide behind it.
  nlohmann::json changed = ReadExample();
  changed["SyncIntervalSeconds"] = 61;
  PluginSettings other;
  ReadSettings(changed, other);
  EXPECT_FALSE(other == PluginSettings{});
}

}  // namespace
}  // namespace palaverlink::testing
