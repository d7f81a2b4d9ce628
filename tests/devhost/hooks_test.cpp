// Hooks redirect the game's own calls of the hooked functions and restore them when removed.
#include <gmock/gmock.h>

#include "devhost/game_records.h"
#include "host_fixture.h"

namespace devhost::testing {
namespace {

constexpr const char* kChat = "AShooterPlayerController.ServerSendChatMessage_Implementation";
constexpr const char* kLogout = "AShooterGameMode.Logout";

// Detours need plain functions; they note what they saw here.
std::vector<std::string> seen;
ServerSendChatMessageFn outer_original = nullptr;
ServerSendChatMessageFn inner_original = nullptr;
LogoutFn logout_original = nullptr;

void OuterDetour(AShooterPlayerController* self, FString* message, int mode) {
  seen.push_back("outer");
  outer_original(self, message, mode);
}

void InnerDetour(AShooterPlayerController* self, FString* message, int mode) {
  seen.push_back("inner");
  inner_original(self, message, mode);
}

void SwallowingDetour(AShooterPlayerController*, FString* message, int) {
  seen.push_back("swallowed " +
                 ToUtf8(std::u16string_view(message->data, static_cast<std::size_t>(message->count - 1))));
}

void LogoutDetour(AShooterGameMode* self, AController* exiting) {
  seen.push_back("logout");
  logout_original(self, exiting);
}

class HooksTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    seen.clear();
    game().CreateWorld(u"TheIsland");
    JoinPlayer(7, "Alice");
  }
  ArkApi::IHooks& hooks() { return ArkApi::GetHooks(); }
};

TEST_F(HooksTest, InstalledDetourSeesTheGamesCallAndCanPassItOn) {
  ASSERT_TRUE(hooks().InstallHook(kChat, reinterpret_cast<void*>(&OuterDetour),
                                  reinterpret_cast<void**>(&outer_original)));
  EXPECT_EQ(outer_original, GetAddress(kChat)) << "the slot runs the game's own handler";

  game().Chat(7, u"hello", 0);

  EXPECT_THAT(seen, ::testing::ElementsAre("outer"));
  ASSERT_EQ(game().HandledChats().size(), 1u);
  EXPECT_EQ(game().HandledChats()[0].text, u"hello");
  EXPECT_EQ(game().HandledChats()[0].from, 7u);
  EXPECT_THAT(host().InstalledHooks(), ::testing::ElementsAre(kChat));
}

TEST_F(HooksTest, DetourThatDoesNotCallTheOriginalKeepsTheLineFromTheGame) {
  void* original = nullptr;
  ASSERT_TRUE(hooks().InstallHook(kChat, reinterpret_cast<void*>(&SwallowingDetour), &original));
  game().Chat(7, u"secret", 1);
  EXPECT_THAT(seen, ::testing::ElementsAre("swallowed secret"));
  EXPECT_TRUE(game().HandledChats().empty());
}

TEST_F(HooksTest, RemovingTheHookRestoresTheGamesOwnHandling) {
  ASSERT_TRUE(hooks().InstallHook(kChat, reinterpret_cast<void*>(&OuterDetour),
                                  reinterpret_cast<void**>(&outer_original)));
  ASSERT_TRUE(hooks().RemoveHook(kChat, reinterpret_cast<void*>(&OuterDetour)));
  game().Chat(7, u"plain", 2);
  EXPECT_TRUE(seen.empty());
  ASSERT_EQ(game().HandledChats().size(), 1u);
  EXPECT_EQ(game().HandledChats()[0].mode, 2);
  EXPECT_TRUE(host().InstalledHooks().empty());
  EXPECT_FALSE(hooks().RemoveHook(kChat, reinterpret_cast<void*>(&OuterDetour))) << "already removed";
}

TEST_F(HooksTest, StackedDetoursRunNewestFirstAndRemovingTheLowerOneSkipsIt) {
  ASSERT_TRUE(hooks().InstallHook(kChat, reinterpret_cast<void*>(&InnerDetour),
                                  reinterpret_cast<void**>(&inner_original)));
  ASSERT_TRUE(hooks().InstallHook(kChat, reinterpret_cast<void*>(&OuterDetour),
                                  reinterpret_cast<void**>(&outer_original)));
  EXPECT_EQ(reinterpret_cast<void*>(outer_original), reinterpret_cast<void*>(&InnerDetour));

  game().Chat(7, u"one", 0);
  EXPECT_THAT(seen, ::testing::ElementsAre("outer", "inner"));

  seen.clear();
  ASSERT_TRUE(hooks().RemoveHook(kChat, reinterpret_cast<void*>(&InnerDetour)));
  game().Chat(7, u"two", 0);
  EXPECT_THAT(seen, ::testing::ElementsAre("outer"));
  EXPECT_EQ(game().HandledChats().size(), 2u);
}

TEST_F(HooksTest, LogoutIsHookedTooAndSeesTheLeavingController) {
  ASSERT_TRUE(hooks().InstallHook(kLogout, reinterpret_cast<void*>(&LogoutDetour),
                                  reinterpret_cast<void**>(&logout_original)));
  game().Leave(7);
  EXPECT_THAT(seen, ::testing::ElementsAre("logout"));
  ASSERT_EQ(game().HandledLogouts().size(), 1u);
  EXPECT_EQ(game().HandledLogouts()[0].player, 7u);
}

TEST_F(HooksTest, UnknownNamesAreRefused) {
  void* original = reinterpret_cast<void*>(0x1);
  EXPECT_FALSE(hooks().InstallHook("AShooterPlayerController.NoSuchThing",
                                   reinterpret_cast<void*>(&OuterDetour), &original));
  EXPECT_EQ(original, reinterpret_cast<void*>(0x1)) << "the slot is left alone";
  EXPECT_FALSE(
      hooks().RemoveHook("AShooterPlayerController.NoSuchThing", reinterpret_cast<void*>(&OuterDetour)));
  EXPECT_TRUE(host().InstalledHooks().empty());
}

}  // namespace
}  // namespace devhost::testing
