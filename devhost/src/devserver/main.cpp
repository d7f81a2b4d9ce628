// palaverlink-devserver: the development host as a program. The game loop runs on the main thread;
// a reader thread takes one command at a time from the script or standard input and hands it to
// the game loop, waiting until it has run, so `sleep` holds up the commands but not the game.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <thread>

#include "command_parser.h"
#include "command_runner.h"
#include "devhost/host.h"
#include "event_output.h"
#include "line_reader.h"
#include "options.h"

namespace {

constexpr const char* kProgram = "palaverlink-devserver";

void ReadCommands(devserver::LineReader& reader, devhost::Host& host, devserver::CommandRunner& runner,
                  int& status) {
  int number = 0;
  while (auto line = reader.Next()) {
    ++number;
    const devserver::ParsedLine parsed = devserver::ParseCommand(*line);
    if (!parsed.error.empty()) {
      std::cerr << kProgram << ": line " << number << ": " << parsed.error << std::endl;
      continue;
    }
    if (!parsed.command) continue;
    const devserver::Command& command = *parsed.command;
    if (std::holds_alternative<devserver::QuitCommand>(command)) break;
    if (const auto* sleep = std::get_if<devserver::SleepCommand>(&command)) {
      std::this_thread::sleep_for(sleep->duration);
      continue;
    }
    try {
      host.RunOnGameThread([&] { runner.Run(command); });
    } catch (const std::exception& error) {
      std::cerr << kProgram << ": line " << number << ": " << error.what() << std::endl;
    }
  }
  host.RunOnGameThread([&] { status = runner.Quit(); });
  host.Stop();
}

}  // namespace

int main(int argc, char** argv) {
  const auto parsed =
      devserver::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), DEVSERVER_DEFAULT_PLUGIN);
  if (!parsed.options) {
    std::cerr << kProgram << ": " << parsed.error << "\n" << devserver::kUsage;
    return 2;
  }
  const devserver::Options& options = *parsed.options;
  if (options.help) {
    std::cout << devserver::kUsage;
    return 0;
  }

  int input = STDIN_FILENO;
  if (options.script) {
    input = open(options.script->c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0) {
      std::cerr << kProgram << ": cannot open script " << options.script->string() << std::endl;
      return 2;
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
  devserver::LineReader::BlockStopSignals();  // before any thread exists, so all inherit it
  devserver::LineReader reader(input);

  int status = 0;
  {
    devhost::Host host(options.root, devhost::MakeRealEnvironment(), /*log_to_stderr=*/true);
    devserver::EventOutput output(stdout, options.pretty);
    host.game().SetObserver(&output);
    // Everything the game does is printed; kept as well, it would grow for as long as the server runs.
    host.game().KeepRecords(false);
    const devhost::PluginLoadResult loaded = host.LoadPlugin(options.plugin);
    if (!loaded.loaded) {
      std::cerr << kProgram << ": cannot load the plug-in: " << loaded.error << std::endl;
      host.game().SetObserver(nullptr);
      return 2;
    }
    output.Loaded();
    output.Ready();

    devserver::CommandRunner runner(host, output, options.plugin);
    std::thread commands([&] { ReadCommands(reader, host, runner, status); });
    host.Run([&output] { output.EndOfTick(); });
    commands.join();
    host.game().SetObserver(nullptr);
  }
  if (input != STDIN_FILENO) close(input);
  return status;
}
