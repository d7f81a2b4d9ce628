// Runs devserver's commands on the game thread.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <utility>

#include "command_parser.h"
#include "devhost/host.h"
#include "event_output.h"

namespace devserver {

class CommandRunner {
 public:
  // `plugin`: the library devserver started with, the one `reload` installs when given none.
  CommandRunner(devhost::Host& host, EventOutput& output, std::filesystem::path plugin)
      : host_(host), output_(output), plugin_(std::move(plugin)) {}

  // Runs one command (not sleep, which waits on the reader's side, nor quit); a command that
  // cannot run throws std::exception with the reason.
  void Run(const Command& command);

  // Unloads a loaded plug-in and reports leaks and every fault seen; returns the exit status:
  // 0 when there was none.
  int Quit();

 private:
  devhost::Host& host_;
  EventOutput& output_;
  std::filesystem::path plugin_;
};

}  // namespace devserver
