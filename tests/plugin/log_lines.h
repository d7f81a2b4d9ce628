// The plug-in's log lines split into level and message, checking the line pattern on the way.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace palaverlink::testing {

struct PluginLine {
  std::string level;
  std::string text;
  bool operator==(const PluginLine&) const = default;
};

inline void PrintTo(const PluginLine& line, std::ostream* out) {
  *out << "[" << line.level << "] " << line.text;
}

// "MM/DD/YY HH:MM [Palaverlink][level] message"; a line of another shape is a failure.
inline std::vector<PluginLine> SplitPluginLines(const std::vector<std::string>& lines) {
  static const std::regex pattern(R"(^\d\d/\d\d/\d\d \d\d:\d\d \[Palaverlink\]\[([a-z]+)\] ([\s\S]*)$)");
  std::vector<PluginLine> split;
  for (const std::string& line : lines) {
    std::smatch match;
    if (!std::regex_match(line, match, pattern)) {
      ADD_FAILURE() << "not a plug-in line: " << line;
      continue;
    }
    split.push_back({match[1], match[2]});
  }
  return split;
}

inline PluginLine Info(std::string text) { return {"info", std::move(text)}; }
inline PluginLine Warning(std::string text) { return {"warning", std::move(text)}; }
inline PluginLine Error(std::string text) { return {"error", std::move(text)}; }

}  // namespace palaverlink::testing
