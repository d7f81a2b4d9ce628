// The tracking allocator reports leaks, double frees and frees of buffers it never handed out,
// and its table of buffers finds every one.
#include <gmock/gmock.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <unordered_map>
#include <vector>

#include "devhost/pointer_table.h"
#include "devhost/tracking_allocator.h"

namespace devhost {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(TrackingAllocator, BalancedUseLeavesNoProblem) {
  TrackingAllocator allocator;
  void* a = allocator.Malloc(10, 0);
  void* b = allocator.Malloc(0, 8);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(allocator.LiveCount(), 2u);
  EXPECT_EQ(allocator.LiveBytes(), 10u);
  allocator.Free(a);
  allocator.Free(b);
  allocator.Free(nullptr);
  EXPECT_THAT(allocator.Problems(), IsEmpty());
}

TEST(TrackingAllocator, LeakIsReportedWithItsSize) {
  TrackingAllocator allocator;
  allocator.Free(allocator.Malloc(8, 0));
  allocator.Malloc(24, 0);
  EXPECT_EQ(allocator.LiveCount(), 1u);
  EXPECT_EQ(allocator.LiveBytes(), 24u);
  EXPECT_THAT(allocator.Problems(), ElementsAre(HasSubstr("leak of 24 byte(s)")));
  EXPECT_THAT(allocator.Errors(), IsEmpty()) << "a leak is not a misuse";
}

TEST(TrackingAllocator, DoubleFreeIsReportedEvenAfterMoreAllocations) {
  TrackingAllocator allocator;
  void* buffer = allocator.Malloc(16, 0);
  allocator.Free(buffer);
  for (int i = 0; i < 100; ++i) allocator.Free(allocator.Malloc(16, 0));  // address reuse would hide it
  allocator.Free(buffer);
  EXPECT_THAT(allocator.Errors(), ElementsAre(HasSubstr("double free")));
}

TEST(TrackingAllocator, FreedBufferIsNoLongerTheCallersToReadOrGrow) {
  TrackingAllocator allocator;
  void* buffer = allocator.Malloc(16, 0);
  allocator.Free(buffer);
  EXPECT_FALSE(allocator.Owns(buffer)) << "a game string read after its free must be a misuse";
  EXPECT_EQ(allocator.Realloc(buffer, 32, 0), nullptr);
  EXPECT_THAT(allocator.Errors(), ElementsAre(HasSubstr("realloc of a freed buffer")));
  EXPECT_EQ(allocator.LiveCount(), 0u);
}

TEST(TrackingAllocator, ForeignFreeIsReported) {
  TrackingAllocator allocator;
  int on_the_stack = 0;
  allocator.Free(&on_the_stack);
  EXPECT_THAT(allocator.Errors(), ElementsAre(HasSubstr("free of a foreign buffer")));
  EXPECT_EQ(allocator.Realloc(&on_the_stack, 8, 0), nullptr);
  EXPECT_EQ(allocator.Errors().size(), 2u);
}

TEST(TrackingAllocator, ReallocKeepsTheContentsAndFollowsTheGamesRules) {
  TrackingAllocator allocator;
  auto* text = static_cast<char*>(allocator.Realloc(nullptr, 6, 0));  // null original: a fresh buffer
  std::memcpy(text, "hello", 6);
  auto* grown = static_cast<char*>(allocator.Realloc(text, 64, 0));
  EXPECT_STREQ(grown, "hello");
  EXPECT_EQ(allocator.LiveBytes(), 64u);
  allocator.Free(text);
  EXPECT_THAT(allocator.Errors(), ElementsAre(HasSubstr("double free")))
      << "the old buffer went with the realloc";
  EXPECT_EQ(allocator.Realloc(grown, 0, 0), nullptr) << "size 0 frees";
  EXPECT_EQ(allocator.LiveCount(), 0u);
}

TEST(TrackingAllocator, AlignmentIsHonoured) {
  TrackingAllocator allocator;
  void* buffer = allocator.Malloc(3, 64);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer) % 64, 0u);
  allocator.Free(buffer);
}

TEST(TrackingAllocator, HeldBuffersAreNotLeaksButNotTheCallersEither) {
  TrackingAllocator allocator;
  void* held = allocator.MallocHeld(32);
  EXPECT_EQ(allocator.LiveCount(), 0u);
  EXPECT_EQ(allocator.HeldCount(), 1u);
  EXPECT_THAT(allocator.Problems(), IsEmpty());
  allocator.Free(held);
  EXPECT_THAT(allocator.Errors(), ElementsAre(HasSubstr("still holds")));
  allocator.FreeHeld(held);
  EXPECT_EQ(allocator.HeldCount(), 0u);
  EXPECT_EQ(allocator.Errors().size(), 1u);
}

// The allocator's table of buffers, against a plain map: every address stays findable through
// growth and through removals from the middle of a run of colliding entries.
TEST(PointerTable, KeepsEveryEntryFindableThroughGrowthAndRemovals) {
  PointerTable<int> table;
  std::unordered_map<void*, int> model;
  std::mt19937_64 random(7);
  // Few addresses, so that puts, removals and runs of colliding entries all happen often; spread
  // as a heap's are (neighbouring addresses would hash apart and never collide).
  std::vector<void*> addresses;
  for (int i = 0; i < 600; ++i)
    addresses.push_back(reinterpret_cast<void*>((random() & 0x7FFFFFFFFFF0ULL) | 0x10));
  for (int step = 0; step < 40000; ++step) {
    void* key = addresses[random() % addresses.size()];
    if (random() % 3 == 0) {
      const auto expected = model.find(key);
      const std::optional<int> removed = table.Erase(key);
      ASSERT_EQ(removed.has_value(), expected != model.end()) << "at step " << step;
      if (removed) {
        EXPECT_EQ(*removed, expected->second) << "at step " << step;
      }
      model.erase(key);
    } else {
      table.Put(key, step);
      model[key] = step;
    }
    ASSERT_EQ(table.size(), model.size()) << "at step " << step;
  }
  for (void* key : addresses) {
    const auto expected = model.find(key);
    const int* found = table.Find(key);
    ASSERT_EQ(found != nullptr, expected != model.end()) << "address " << key;
    if (found != nullptr) {
      EXPECT_EQ(*found, expected->second) << "address " << key;
    }
  }
}

}  // namespace
}  // namespace devhost
