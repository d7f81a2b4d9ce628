// palaverlink-devbot as the end-to-end tests run it: a free port reported on standard output, one
// JSON line per event, and a clean stop on SIGTERM.
#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class DevbotProcess {
 public:
  explicit DevbotProcess(std::vector<std::string> arguments) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    std::string program = DEVBOT_PROGRAM;
    std::vector<char*> argv{program.data()};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, DEVBOT_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    output_ = pipe_ends[0];
  }

  ~DevbotProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }

  bool started() const { return pid_ > 0; }

  // The next line of standard output, waiting at most until the deadline.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    Clock::time_point deadline = Clock::now() + timeout;
    while (true) {
      std::size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd ready{output_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
      char chunk[512];
      ssize_t got = read(output_, chunk, sizeof(chunk));
      if (got <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }

  // The next event of that kind, skipping others.
  std::optional<nlohmann::json> NextEvent(const std::string& kind) {
    while (std::optional<std::string> line = ReadLine()) {
      nlohmann::json event = nlohmann::json::parse(*line);
      if (event.at("event") == kind) return event;
    }
    return std::nullopt;
  }

  // Sends the signal and waits at most five seconds; the exit status, or nullopt.
  std::optional<int> Stop(int signal_number) {
    kill(pid_, signal_number);
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string buffer_;
};

class DevbotProgram : public ::testing::TestWithParam<int> {};

TEST_P(DevbotProgram, ReportsItsPortPrintsWhatItReceivesAndStopsOnSignal) {
  DevbotProcess devbot({"--listen", "127.0.0.1:0", "--api-key", "k"});
  ASSERT_TRUE(devbot.started());
  std::optional<nlohmann::json> listening = devbot.NextEvent("listening");
  ASSERT_TRUE(listening);
  int port = listening->at("port").get<int>();
  ASSERT_GT(port, 0);

  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(2);
  client.set_read_timeout(5);
  auto posted = client.Post("/api/sessions/leave", {{"Authorization", "Bearer k"}},
                            R"({"mapId":"the-island","platformId":"42"})", "application/json");
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->status, 200);
  std::optional<nlohmann::json> leave = devbot.NextEvent("leave");
  ASSERT_TRUE(leave);
  EXPECT_EQ(leave->at("platformId"), "42");

  EXPECT_EQ(devbot.Stop(GetParam()), 0);
  EXPECT_TRUE(devbot.NextEvent("stopped"));
}

INSTANTIATE_TEST_SUITE_P(Signals, DevbotProgram, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& param_info) {
                           return param_info.param == SIGTERM ? "SIGTERM" : "SIGINT";
                         });

TEST(DevbotProgramOptions, WrongOptionExitsWithUsage) {
  DevbotProcess devbot({"--listen", "nowhere"});
  ASSERT_TRUE(devbot.started());
  EXPECT_EQ(devbot.Stop(0), 2);
}

}  // namespace
