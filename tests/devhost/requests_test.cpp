// Requests are recorded as made and completed on the game thread when the test says so.
#include <gmock/gmock.h>

#include <chrono>
#include <initializer_list>
#include <thread>
#include <vector>

#include "host_fixture.h"

namespace devhost::testing {
namespace {

using RequestsTest = HostTest;

TEST_F(RequestsTest, RequestsAreRecordedWithEverythingTheCallerPassed) {
  auto& requests = API::Requests::Get();
  EXPECT_TRUE(requests.CreateGetRequest("http://127.0.0.1:8765/health", [](bool, std::string) {}));
  EXPECT_TRUE(requests.CreatePostRequest("http://127.0.0.1:8765/api/chat/inbound", [](bool, std::string) {},
                                         R"({"a":1})", "application/json", {"Authorization: Bearer k"}));

  ASSERT_EQ(env().Requests().size(), 2u);
  const HttpRequest& get = env().Requests()[0];
  EXPECT_EQ(get.id, 1u);
  EXPECT_EQ(get.method, "GET");
  EXPECT_EQ(get.url, "http://127.0.0.1:8765/health");
  EXPECT_TRUE(get.headers.empty());
  const HttpRequest& post = env().Requests()[1];
  EXPECT_EQ(post.id, 2u);
  EXPECT_EQ(post.method, "POST");
  EXPECT_EQ(post.body, R"({"a":1})");
  EXPECT_EQ(post.content_type, "application/json");
  EXPECT_THAT(post.headers, ::testing::ElementsAre("Authorization: Bearer k"));
  EXPECT_EQ(env().Pending().size(), 2u);
}

TEST_F(RequestsTest, CompletionRunsOnceOnTheGameThreadWithTheGivenOutcome) {
  std::vector<std::pair<bool, std::string>> outcomes;
  std::thread::id ran_on;
  API::Requests::Get().CreateGetRequest("http://127.0.0.1:1/x", [&](bool success, std::string text) {
    outcomes.emplace_back(success, std::move(text));
    ran_on = std::this_thread::get_id();
  });
  EXPECT_TRUE(outcomes.empty()) << "nothing runs before the test completes the request";

  host().Complete(1, false, "HTTP 401 Unauthorized");
  EXPECT_THAT(outcomes, ::testing::ElementsAre(std::pair{false, std::string("HTTP 401 Unauthorized")}));
  EXPECT_EQ(ran_on, std::this_thread::get_id());
  EXPECT_TRUE(env().Pending().empty());

  host().Complete(1, true, "again");
  EXPECT_EQ(outcomes.size(), 1u) << "a request completes once";
}

TEST_F(RequestsTest, CompletionMayStartTheNextRequest) {
  int completions = 0;
  std::function<void(bool, std::string)> chain = [&](bool, std::string) {
    if (++completions < 3) API::Requests::Get().CreateGetRequest("http://127.0.0.1:1/next", chain);
  };
  API::Requests::Get().CreateGetRequest("http://127.0.0.1:1/first", chain);
  for (std::uint64_t id = 1; id <= 3; ++id) host().Complete(id, true, "{}");
  EXPECT_EQ(completions, 3);
  EXPECT_EQ(env().Requests().size(), 3u);
  EXPECT_TRUE(env().Pending().empty());
}

TEST_F(RequestsTest, RefusedRequestsNeverComplete) {
  bool ran = false;
  auto& requests = API::Requests::Get();
  EXPECT_FALSE(requests.CreateGetRequest("", [&](bool, std::string) { ran = true; }));
  env().RefuseRequests(true);
  EXPECT_FALSE(requests.CreateGetRequest("http://127.0.0.1:1/x", [&](bool, std::string) { ran = true; }));
  EXPECT_FALSE(requests.CreatePostRequest("http://127.0.0.1:1/x", [&](bool, std::string) { ran = true; },
                                          "{}", "application/json", {}));
  EXPECT_TRUE(env().Requests().empty());
  env().RefuseRequests(false);
  EXPECT_TRUE(requests.CreateGetRequest("http://127.0.0.1:1/y", [](bool, std::string) {}));
  ASSERT_EQ(env().Requests().size(), 1u);
  host().Complete(env().Requests()[0].id, true, "");
  EXPECT_FALSE(ran);
}

// The figures devserver reports of the completions: the median and the 99th percentile by nearest
// rank, whatever order the times came in.
TEST(CompletionTimes, PercentilesAreTheNearestRank) {
  using std::chrono::nanoseconds;
  const auto times = [](std::initializer_list<int> values) {
    std::vector<nanoseconds> out;
    for (int value : values) out.emplace_back(value);
    return out;
  };
  std::vector<nanoseconds> hundred;
  for (int i = 100; i >= 1; --i) hundred.emplace_back(i);
  EXPECT_EQ(NearestRank({}, 50), nanoseconds{0});
  EXPECT_EQ(NearestRank(times({7}), 99), nanoseconds{7});
  EXPECT_EQ(NearestRank(times({4, 1, 3, 2}), 50), nanoseconds{2}) << "the lower middle of an even count";
  EXPECT_EQ(NearestRank(times({9, 2, 10, 4, 1, 6, 3, 8, 5, 7}), 99), nanoseconds{10})
      << "of ten, the 99th percentile is the longest";
  EXPECT_EQ(NearestRank(hundred, 99), nanoseconds{99});
  EXPECT_EQ(NearestRank(hundred, 50), nanoseconds{50});
}

}  // namespace
}  // namespace devhost::testing
