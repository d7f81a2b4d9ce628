#include "line_reader.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace devserver {
namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

void LineReader::BlockStopSignals() {
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

LineReader::LineReader(int fd) : fd_(fd) {
  const sigset_t signals = StopSignals();
  signal_fd_ = signalfd(-1, &signals, SFD_CLOEXEC);
}

LineReader::~LineReader() {
  if (signal_fd_ >= 0) close(signal_fd_);
}

std::optional<std::string> LineReader::Next() {
  for (;;) {
    const auto newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      return line;
    }
    if (ended_) {
      if (buffer_.empty()) return std::nullopt;
      return std::exchange(buffer_, {});
    }
    pollfd watched[2] = {{fd_, POLLIN, 0}, {signal_fd_, POLLIN, 0}};
    const int ready = poll(watched, signal_fd_ >= 0 ? 2 : 1, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      ended_ = true;
      continue;
    }
    if (signal_fd_ >= 0 && (watched[1].revents & POLLIN) != 0) {
      buffer_.clear();
      ended_ = true;
      continue;
    }
    char chunk[4096];
    const ssize_t got = read(fd_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ended_ = true;
      continue;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace devserver
