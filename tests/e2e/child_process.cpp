#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace palaverlink::e2e {
namespace {

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                           const std::filesystem::path& stderr_file) {
  // A program that dies while the test writes to it must fail the write, not end the test.
  signal(SIGPIPE, SIG_IGN);
  int input_pipe[2];
  int output_pipe[2];
  if (pipe2(input_pipe, O_CLOEXEC) != 0) return;
  if (pipe2(output_pipe, O_CLOEXEC) != 0) {
    close(input_pipe[0]);
    close(input_pipe[1]);
    return;
  }
  const int error_file = open(stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);

  // Everything the child needs is prepared before fork: between fork and exec only calls that are
  // safe in a copy of a threaded process.
  std::vector<std::string> argument_texts{program.string()};
  argument_texts.insert(argument_texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argument_texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();

  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(input_pipe[0], STDIN_FILENO);
    dup2(output_pipe[1], STDOUT_FILENO);
    if (error_file >= 0) dup2(error_file, STDERR_FILENO);
    // Signal dispositions and masks survive exec; the programs expect the defaults.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &default_action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }

  close(input_pipe[0]);
  close(output_pipe[1]);
  if (error_file >= 0) close(error_file);
  if (child < 0) {
    close(input_pipe[1]);
    close(output_pipe[0]);
    return;
  }
  pid_ = child;
  input_ = input_pipe[1];
  output_ = output_pipe[0];
  reader_ = std::thread([this] { ReadOutput(); });
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (reader_.joinable()) reader_.join();
  if (output_ >= 0) close(output_);
}

bool ChildProcess::WriteLine(const std::string& line) {
  if (input_ < 0) return false;
  const std::string text = line + "\n";
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t now = write(input_, text.data() + written, text.size() - written);
    if (now < 0 && errno == EINTR) continue;
    if (now <= 0) return false;
    written += static_cast<std::size_t>(now);
  }
  return true;
}

void ChildProcess::CloseInput() {
  if (input_ < 0) return;
  close(input_);
  input_ = -1;
}

std::vector<std::string> ChildProcess::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::optional<std::string> ChildProcess::WaitForLine(const LineMatch& match,
                                                     std::chrono::milliseconds timeout, std::size_t from) {
  const Clock::time_point deadline = Clock::now() + timeout;
  std::unique_lock lock(mutex_);
  for (std::size_t next = from;;) {
    for (; next < lines_.size(); ++next) {
      if (match(lines_[next])) return lines_[next];
    }
    if (output_ended_) return std::nullopt;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && next == lines_.size()) {
      return std::nullopt;
    }
  }
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return std::nullopt;
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!reaped_) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      reaped_ = true;
      exit_status_ = DecodeStatus(status);
      // Its output ends with it: collect the last lines before anyone looks at them.
      if (reader_.joinable()) reader_.join();
      break;
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return exit_status_;
}

std::optional<int> ChildProcess::Stop(int signal_number, std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return std::nullopt;
  if (!reaped_) kill(pid_, signal_number);
  if (auto status = WaitForExit(timeout)) return status;
  kill(pid_, SIGKILL);
  WaitForExit(std::chrono::seconds(5));
  return std::nullopt;
}

void ChildProcess::ReadOutput() {
  std::string pending;
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(output_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(chunk, static_cast<std::size_t>(got));
    std::vector<std::string> finished;
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      finished.push_back(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
    if (finished.empty()) continue;
    {
      std::lock_guard lock(mutex_);
      lines_.insert(lines_.end(), finished.begin(), finished.end());
    }
    changed_.notify_all();
  }
  {
    std::lock_guard lock(mutex_);
    if (!pending.empty()) lines_.push_back(pending);
    output_ended_ = true;
  }
  changed_.notify_all();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return true;
}

}  // namespace palaverlink::e2e
