// The plug-in's parts linked into the test and driven against a development host (manual clock,
// recording transport), for behaviour that no entry point of the loaded plug-in reaches on its
// own. The process-wide state is put back to its load-time values before every test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/host/load_generation.h"
#include "core/log_channel.h"
#include "core/settings.h"
#include "devhost/host.h"
#include "link/link_state.h"
#include "log_lines.h"
#include "plugin_reset.h"
#include "support/fresh_root.h"

namespace palaverlink::testing {

class ComponentFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshTestRoot("palaverlink-component");
    auto environment = std::make_unique<devhost::ManualEnvironment>();
    env_ = environment.get();
    host_ = std::make_unique<devhost::Host>(root_, std::move(environment), /*log_to_stderr=*/false);
    // As Plugin_Init does: a new load (callbacks handed to the host run only within one) and the
    // load-time state.
    host::BeginLoad();
    ResetPluginState();
    OpenLogChannel("Palaverlink");
  }

  void TearDown() override {
    EXPECT_TRUE(host_->EscapedExceptions().empty()) << host_->EscapedExceptions().front();
    const auto problems = host_->game().Allocator().Problems();
    EXPECT_TRUE(problems.empty()) << "game allocator: " << problems.front();
    const auto misuses = host_->game().Misuses();
    EXPECT_TRUE(misuses.empty()) << "game: " << misuses.front();
    host_.reset();
    OpenLogChannel("Palaverlink");  // no host now: a logger that writes nowhere
    std::filesystem::remove_all(root_);
  }

  devhost::Host& host() { return *host_; }
  devhost::Game& game() { return host_->game(); }
  devhost::ManualEnvironment& env() { return *env_; }
  std::vector<PluginLine> PluginLog() const { return SplitPluginLines(host_->LogLinesOf("Palaverlink")); }
  const devhost::HttpRequest& LastRequest() const { return env_->Requests().back(); }

 private:
  std::filesystem::path root_;
  devhost::ManualEnvironment* env_ = nullptr;
  std::unique_ptr<devhost::Host> host_;
};

}  // namespace palaverlink::testing
