// The simulated game behind the names: weak references, fields, strings and the client chat.
#include <gmock/gmock.h>

#include "devhost/game_records.h"
#include "host_fixture.h"

namespace devhost::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class GameTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    game().CreateWorld(u"Ragnarok_P");
  }

  TArray<FWeakObjectPtr>& PlayerList() {
    return *static_cast<TArray<FWeakObjectPtr>*>(GetAddress(game().World(), "UWorld.PlayerControllerList"));
  }

  UObject* Resolve(const FWeakObjectPtr& reference) {
    return Lookup<WeakGetFn>("FWeakObjectPtr.Get")(&reference, false);
  }

  // Reads a game string without taking it over.
  static std::u16string Read(const FString& string) {
    return string.data ? std::u16string(string.data, static_cast<std::size_t>(string.count - 1))
                       : std::u16string();
  }

  void* Field(const void* object, const std::string& name) { return GetAddress(object, name); }
};

TEST_F(GameTest, WeakReferencesResolveWhilePlayersStayAndStopWhenTheyGo) {
  JoinPlayer(1, "Ann");
  JoinPlayer(2, "Ben");
  JoinPlayer(3, "Cid");
  ASSERT_EQ(PlayerList().count, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(static_cast<void*>(Resolve(PlayerList().data[i])),
              static_cast<void*>(game().Controller(static_cast<std::uint64_t>(i + 1))));
  }

  const FWeakObjectPtr ben = PlayerList().data[1];
  game().Vanish(2);
  EXPECT_EQ(PlayerList().count, 3) << "a vanished controller leaves a stale entry";
  EXPECT_EQ(Resolve(ben), nullptr);

  const FWeakObjectPtr ann = PlayerList().data[0];
  game().Leave(1);
  EXPECT_EQ(PlayerList().count, 2) << "a leaving player's entry goes after the logout";
  EXPECT_EQ(Resolve(ann), nullptr);
  EXPECT_THAT(game().ConnectedPlayers(), ElementsAre(3u));

  JoinPlayer(1, "Ann again");
  EXPECT_EQ(Resolve(ann), nullptr) << "an old reference never resolves to a new controller";
  EXPECT_NE(Resolve(*game().WeakReferenceOf(1)), nullptr);
  EXPECT_EQ(Resolve(FWeakObjectPtr{}), nullptr);
  EXPECT_EQ(Resolve(FWeakObjectPtr{100000, 1}), nullptr);
}

TEST_F(GameTest, FieldsReadThePlayerStateAndTribeOrNothingWithoutAState) {
  JoinPlayer(5, "Ann", "ann_account", "Wolves");
  JoinPlayer(6, "Ben", "", "", /*with_state=*/false);

  auto* state_of_ann = *static_cast<void**>(Field(game().Controller(5), "AController.PlayerState"));
  ASSERT_NE(state_of_ann, nullptr);
  EXPECT_EQ(Read(*static_cast<FString*>(Field(state_of_ann, "APlayerState.PlayerName"))), u"ann_account");
  void* tribe = Field(state_of_ann, "AShooterPlayerState.MyTribeData");
  ASSERT_NE(tribe, nullptr);
  EXPECT_EQ(Read(*static_cast<FString*>(Field(tribe, "FTribeData.TribeName"))), u"Wolves");

  EXPECT_EQ(*static_cast<void**>(Field(game().Controller(6), "AController.PlayerState")), nullptr);
  EXPECT_EQ(Field(game().Controller(5), "AController.NoSuchField"), nullptr);
  EXPECT_THAT(game().Misuses(), IsEmpty());

  EXPECT_EQ(Field(nullptr, "APlayerState.PlayerName"), nullptr);
  EXPECT_EQ(game().Misuses().size(), 1u) << "asking a null object for a field is a misuse";
}

TEST_F(GameTest, NamesAreFreshBuffersThatTheCallerFrees) {
  JoinPlayer(5, "Ånn 🐺");
  auto get_name = Lookup<GetPlayerCharacterNameFn>("AShooterPlayerController.GetPlayerCharacterName");
  auto free = Lookup<FreeFn>("FMemory.Free");

  FString name;
  EXPECT_EQ(get_name(game().Controller(5), &name), &name);
  EXPECT_EQ(Read(name), u"Ånn 🐺");
  EXPECT_EQ(name.count, 7) << "six units and the terminator";
  EXPECT_EQ(name.capacity, name.count);
  EXPECT_EQ(game().Allocator().LiveCount(), 1u);
  free(name.data);
  EXPECT_EQ(game().Allocator().LiveCount(), 0u);

  FString map;
  Lookup<GetMapNameFn>("UWorld.GetMapName")(game().World(), &map);
  EXPECT_EQ(Read(map), u"Ragnarok_P");
  free(map.data);
  EXPECT_THAT(game().Allocator().Problems(), IsEmpty());
}

TEST_F(GameTest, EmptyNameGivesNoBuffer) {
  JoinPlayer(5, "");
  FString name{reinterpret_cast<char16_t*>(0x10), 99, 99};  // the game overwrites whatever was there
  Lookup<GetPlayerCharacterNameFn>("AShooterPlayerController.GetPlayerCharacterName")(game().Controller(5),
                                                                                      &name);
  EXPECT_EQ(name.data, nullptr);
  EXPECT_EQ(name.count, 0);
  EXPECT_EQ(game().Allocator().LiveCount(), 0u);
}

TEST_F(GameTest, PlatformIdOfAGoneControllerIsAMisuseNotACrash) {
  JoinPlayer(9, "Ann");
  auto get_id = Lookup<GetUniqueNetIdAsUint64Fn>("AShooterPlayerController.GetUniqueNetIdAsUINT64");
  AShooterPlayerController* controller = game().Controller(9);
  EXPECT_EQ(get_id(controller), 9u);
  game().Vanish(9);
  EXPECT_EQ(get_id(controller), 0u);
  EXPECT_EQ(game().Misuses().size(), 1u);
  EXPECT_EQ(game().CallCount("AShooterPlayerController.GetUniqueNetIdAsUINT64"), 2);
}

TEST_F(GameTest, ClientChatMessageShowsTheLineAndReleasesTheRecordsBuffers) {
  JoinPlayer(4, "Ann");
  auto malloc = Lookup<MallocFn>("FMemory.Malloc");
  auto make = [&](const std::u16string& text) {
    FString string;
    string.data = static_cast<char16_t*>(malloc((text.size() + 1) * sizeof(char16_t), 0));
    std::copy(text.begin(), text.end(), string.data);
    string.data[text.size()] = u'\0';
    string.count = string.capacity = static_cast<std::int32_t>(text.size() + 1);
    return string;
  };
  FChatMessage record{};
  record.sender_name = make(u"[Gabblen]");
  record.message = make(u"Zed: hi all");
  record.received_time = -1.0;
  Lookup<ClientChatMessageFn>("AShooterPlayerController.ClientChatMessage")(game().Controller(4), record);

  ASSERT_EQ(game().Shown().size(), 1u);
  EXPECT_EQ(game().Shown()[0].to, 4u);
  EXPECT_EQ(game().Shown()[0].tag, u"[Gabblen]");
  EXPECT_EQ(game().Shown()[0].line, u"Zed: hi all");
  EXPECT_EQ(game().Shown()[0].record.received_time, -1.0);
  EXPECT_THAT(game().Allocator().Problems(), IsEmpty()) << "the game freed both buffers";
  EXPECT_THAT(game().Misuses(), IsEmpty());
}

TEST_F(GameTest, ClientChatMessageReportsARecordWhoseCountDoesNotFitItsBuffer) {
  JoinPlayer(4, "Ann");
  FChatMessage record{};
  record.message.data = static_cast<char16_t*>(Lookup<MallocFn>("FMemory.Malloc")(4, 0));  // two units
  record.message.count = record.message.capacity = 3;
  Lookup<ClientChatMessageFn>("AShooterPlayerController.ClientChatMessage")(game().Controller(4), record);
  EXPECT_EQ(game().Misuses().size(), 1u);
  EXPECT_EQ(game().Allocator().LiveCount(), 0u);
}

TEST_F(GameTest, ThrowFromFailsTheNextCallsOnlyAndCallsAreCounted) {
  JoinPlayer(1, "Ann");
  auto get_id = Lookup<GetUniqueNetIdAsUint64Fn>("AShooterPlayerController.GetUniqueNetIdAsUINT64");
  game().ThrowFrom("AShooterPlayerController.GetUniqueNetIdAsUINT64", 2);
  EXPECT_THROW(get_id(game().Controller(1)), std::runtime_error);
  EXPECT_THROW(get_id(game().Controller(1)), std::runtime_error);
  EXPECT_EQ(get_id(game().Controller(1)), 1u);
  EXPECT_EQ(game().CallCount("AShooterPlayerController.GetUniqueNetIdAsUINT64"), 3);
  EXPECT_EQ(game().CallCount("FWeakObjectPtr.Get"), 0);
}

TEST_F(GameTest, GameStringsAreTheGamesAndFreeingOneIsReportedWithoutBreakingIt) {
  JoinPlayer(1, "Ann", "ann_account");
  auto* state = *static_cast<void**>(Field(game().Controller(1), "AController.PlayerState"));
  auto* name = static_cast<FString*>(Field(state, "APlayerState.PlayerName"));
  EXPECT_EQ(game().Allocator().LiveCount(), 0u) << "the game's own strings are not anybody's leak";
  EXPECT_GT(game().Allocator().HeldCount(), 0u);

  Lookup<FreeFn>("FMemory.Free")(name->data);
  ASSERT_EQ(game().Allocator().Errors().size(), 1u);
  EXPECT_THAT(game().Allocator().Errors()[0], ::testing::HasSubstr("the game still holds"));
  EXPECT_EQ(Read(*name), u"ann_account");
}

TEST_F(GameTest, GameActionsNeedAWorldAndKnownPlayers) {
  EXPECT_THROW(game().Chat(42, u"hi", 0), std::logic_error);
  EXPECT_THROW(game().Leave(42), std::logic_error);
  EXPECT_THROW(game().CreateWorld(u"Second"), std::logic_error);
  game().DestroyWorld();
  EXPECT_EQ(ArkApi::GetApiUtils().CurrentWorld(), nullptr);
  PlayerSpec spec;
  spec.platform_id = 1;
  EXPECT_THROW(game().Join(spec), std::logic_error);
}

TEST_F(GameTest, NullControllerAndNullTextReachTheGamesHandlers) {
  JoinPlayer(3, "Ann");
  game().ChatWithNullController(u"orphan", 0);
  game().ChatWithNullText(3, 1);
  game().LogoutWithNullController();
  ASSERT_EQ(game().HandledChats().size(), 2u);
  EXPECT_EQ(game().HandledChats()[0].from, 0u);
  EXPECT_EQ(game().HandledChats()[0].text, u"orphan");
  EXPECT_TRUE(game().HandledChats()[1].text_was_null);
  ASSERT_EQ(game().HandledLogouts().size(), 1u);
  EXPECT_TRUE(game().HandledLogouts()[0].controller_was_null);
  EXPECT_THAT(game().Misuses(), IsEmpty());
}

}  // namespace
}  // namespace devhost::testing
