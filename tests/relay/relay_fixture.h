// The plug-in on the development host, with helpers for the requests it makes, the bodies it sends
// and the lines it writes.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/plugin_fixture.h"

namespace palaverlink::testing {

inline constexpr std::uint64_t kRex = 76561198000000001ULL;
inline constexpr std::uint64_t kAnn = 76561198000000002ULL;
inline constexpr std::uint64_t kBo = 76561198000000003ULL;

inline std::int64_t SystemNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

inline bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Counts, at each moment the game handles a chat line or a logout, the requests made so far whose
// URL holds `path`: whether the plug-in acted before or after the game's own handling.
class RequestsAtGameHandling : public devhost::GameObserver {
 public:
  RequestsAtGameHandling(devhost::ManualEnvironment& env, std::string path)
      : env_(env), path_(std::move(path)) {}
  void OnChatHandled(const devhost::HandledChat&) override { seen.push_back(Count()); }
  void OnLogoutHandled(const devhost::HandledLogout&) override { seen.push_back(Count()); }
  std::vector<std::size_t> seen;

 private:
  std::size_t Count() const {
    return static_cast<std::size_t>(
        std::count_if(env_.Requests().begin(), env_.Requests().end(),
                      [this](const auto& r) { return r.url.find(path_) != std::string::npos; }));
  }
  devhost::ManualEnvironment& env_;
  std::string path_;
};

class RelayFixture : public PluginFixture {
 protected:
  devhost::PlayerSpec Player(std::uint64_t id, std::u16string character, std::u16string account = u"acct",
                             std::u16string tribe = u"Raptors") {
    devhost::PlayerSpec spec;
    spec.platform_id = id;
    spec.character_name = std::move(character);
    spec.account_name = std::move(account);
    spec.tribe_name = std::move(tribe);
    return spec;
  }

  // Every request whose URL contains `path`, in the order they were made.
  std::vector<devhost::HttpRequest> RequestsTo(std::string_view path) {
    std::vector<devhost::HttpRequest> found;
    for (const auto& request : env().Requests()) {
      if (request.url.find(path) != std::string::npos) found.push_back(request);
    }
    return found;
  }

  std::vector<std::string> BodiesTo(std::string_view path) {
    std::vector<std::string> bodies;
    for (const auto& request : RequestsTo(path)) bodies.push_back(request.body);
    return bodies;
  }

  // The plug-in's lines after the "loaded" line, without date, time and logger name.
  std::vector<std::string> LinesAfterLoad() {
    std::vector<std::string> lines;
    bool loaded = false;
    for (const auto& line : PluginLog()) {
      if (loaded) {
        auto level = line.find("][");
        lines.push_back(level == std::string::npos ? line : line.substr(level + 1));
      }
      if (line.find("Palaverlink loaded.") != std::string::npos) loaded = true;
    }
    return lines;
  }

  std::vector<devhost::ShownLine> ShownTo(std::uint64_t player) {
    std::vector<devhost::ShownLine> lines;
    for (const auto& shown : game().Shown()) {
      if (shown.to == player) lines.push_back(shown);
    }
    return lines;
  }
};

}  // namespace palaverlink::testing
