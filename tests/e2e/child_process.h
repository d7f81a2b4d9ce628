// A program that a test starts: standard output collected line by line on a thread of its own,
// standard input a pipe, standard error into a file. It is stopped by its own pid (kill + waitpid)
// at the latest when the object goes, and the kernel kills it if the test program dies first.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace palaverlink::e2e {

using Clock = std::chrono::steady_clock;
using LineMatch = std::function<bool(const std::string&)>;

class ChildProcess {
 public:
  ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& stderr_file);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // False once the input is closed or the program has gone.
  bool WriteLine(const std::string& line);
  void CloseInput();

  // Every line of standard output so far.
  std::vector<std::string> Lines() const;
  // The first line at or after index `from` that matches, waiting at most `timeout`; nullopt when
  // none came before the deadline or the end of the output.
  std::optional<std::string> WaitForLine(const LineMatch& match, std::chrono::milliseconds timeout,
                                         std::size_t from = 0);

  // Waits for the program to end: its exit status, or 128 + the signal that ended it; nullopt when
  // it is still running at the deadline.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  // Sends the signal, waits, and kills it when it has not ended by the deadline.
  std::optional<int> Stop(int signal_number, std::chrono::milliseconds timeout);

 private:
  void ReadOutput();

  pid_t pid_ = -1;
  bool reaped_ = false;
  int exit_status_ = -1;
  int input_ = -1;
  int output_ = -1;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
  bool output_ended_ = false;
  std::thread reader_;
};

// Polls `condition` until it holds or the timeout passes; the last answer.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace palaverlink::e2e
