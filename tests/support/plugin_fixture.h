// A fresh development host with the deterministic environment and the built plug-in, for tests
// that drive the plug-in as the game server would. Every test ends with the game's allocator clean
// and no exception having escaped into the host.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "devhost/host.h"
#include "support/fresh_root.h"

namespace palaverlink::testing {

class PluginFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshTestRoot("palaverlink-test");
    auto environment = std::make_unique<devhost::ManualEnvironment>();
    env_ = environment.get();
    host_ = std::make_unique<devhost::Host>(root_, std::move(environment), /*log_to_stderr=*/false);
  }

  void TearDown() override {
    if (host_ && host_->PluginLoaded()) host_->UnloadPlugin();
    if (host_) {
      EXPECT_TRUE(host_->EscapedExceptions().empty())
          << "exception reached the host: " << host_->EscapedExceptions().front();
      auto problems = host_->game().Allocator().Problems();
      EXPECT_TRUE(problems.empty()) << "game allocator: " << problems.front();
      auto misuses = host_->game().Misuses();
      EXPECT_TRUE(misuses.empty()) << "game: " << misuses.front();
    }
    host_.reset();
    // The plug-in pins its library for the rest of the process; Windows refuses to delete the file
    // of a loaded library, so there the server directory stays behind in the temporary folder.
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  // Writes the configuration (when given) and loads the plug-in.
  void Load(const std::string& config = "{}") {
    host_->WriteConfig(config);
    LoadWithoutConfig();
  }
  void LoadWithoutConfig() {
    auto result = host_->LoadPlugin(PALAVERLINK_PLUGIN_PATH);
    ASSERT_TRUE(result.loaded) << result.error;
  }

  devhost::Host& host() { return *host_; }
  devhost::Game& game() { return host_->game(); }
  devhost::ManualEnvironment& env() { return *env_; }
  std::vector<std::string> PluginLog() const { return host_->LogLinesOf("Palaverlink"); }
  void Advance(std::chrono::milliseconds duration) { host_->Advance(duration); }

 private:
  std::filesystem::path root_;
  devhost::ManualEnvironment* env_ = nullptr;
  std::unique_ptr<devhost::Host> host_;
};

}  // namespace palaverlink::testing
