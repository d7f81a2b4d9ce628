// Reads command lines from a file descriptor; SIGINT and SIGTERM end the input like end of file.
// The caller blocks those two signals in every thread before creating the reader.
#pragma once

#include <optional>
#include <string>

namespace devserver {

class LineReader {
 public:
  explicit LineReader(int fd);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line without its newline; none at the end of input, on a read error or a signal.
  std::optional<std::string> Next();

  // Blocks SIGINT and SIGTERM in the calling thread and the threads it creates afterwards.
  static void BlockStopSignals();

 private:
  int fd_;
  int signal_fd_ = -1;
  std::string buffer_;
  bool ended_ = false;
};

}  // namespace devserver
