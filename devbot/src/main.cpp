// palaverlink-devbot: the development stand-in for the companion bot.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "devbot/bot.h"
#include "devbot/bot_server.h"
#include "devbot/event_printer.h"
#include "devbot/options.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  devbot::Parsed<devbot::Options> options = devbot::ParseOptions(arguments);
  if (!options.value) {
    std::fprintf(stderr, "palaverlink-devbot: %s\n%s", options.error.c_str(), devbot::UsageText().c_str());
    return 2;
  }
  if (options.value->help) {
    std::fputs(devbot::UsageText().c_str(), stdout);
    return 0;
  }

  // SIGINT and SIGTERM are taken by one waiting thread, never by a thread inside the server.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  devbot::Bot bot(options.value->api_key, devbot::SystemMilliseconds, devbot::PrintEvent);
  devbot::BotServer server(bot);
  int port = server.Bind(options.value->host, options.value->port);
  if (port < 0) {
    std::fprintf(stderr, "palaverlink-devbot: cannot listen on %s:%d\n", options.value->host.c_str(),
                 options.value->port);
    return 1;
  }
  devbot::PrintEvent({{"event", "listening"}, {"host", options.value->host}, {"port", port}});

  std::thread signal_waiter([&server, &stop_signals] {
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.Stop();
  });
  bool ran = server.Run();
  // Wakes the waiter when the server ended by itself; harmless when a signal already did.
  pthread_kill(signal_waiter.native_handle(), SIGTERM);
  signal_waiter.join();
  devbot::PrintEvent({{"event", "stopped"}});
  return ran ? 0 : 1;
}
