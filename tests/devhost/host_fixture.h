// A fresh development host with the manual environment in a temporary server directory, for the
// tests of the host itself.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "arkapi/framework.h"
#include "devhost/host.h"
#include "devhost/text.h"

namespace devhost::testing {

inline std::filesystem::path FreshRoot(const std::string& kind) {
  static int counter = 0;
  auto root = std::filesystem::temp_directory_path() /
              ("devhost-" + kind + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  return root;
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshRoot("test");
    auto environment = std::make_unique<ManualEnvironment>();
    env_ = environment.get();
    host_ = std::make_unique<Host>(root_, std::move(environment), /*log_to_stderr=*/false);
  }

  void TearDown() override {
    host_.reset();
    // The plug-in pins its library for the rest of the process; Windows refuses to delete the file
    // of a loaded library, so there the server directory stays behind in the temporary folder.
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  Host& host() { return *host_; }
  Game& game() { return host_->game(); }
  ManualEnvironment& env() { return *env_; }
  const std::filesystem::path& root() const { return root_; }

  void JoinPlayer(std::uint64_t id, const std::string& character, const std::string& account = "",
                  const std::string& tribe = "", bool with_state = true) {
    PlayerSpec spec;
    spec.platform_id = id;
    spec.character_name = ToUtf16(character);
    spec.account_name = ToUtf16(account);
    spec.tribe_name = ToUtf16(tribe);
    spec.has_player_state = with_state;
    game().Join(spec);
  }

  template <typename Function>
  static Function Lookup(const std::string& name) {
    void* address = GetAddress(name);
    EXPECT_NE(address, nullptr) << name;
    return reinterpret_cast<Function>(address);
  }

 private:
  std::filesystem::path root_;
  ManualEnvironment* env_ = nullptr;
  std::unique_ptr<Host> host_;
};

}  // namespace devhost::testing
