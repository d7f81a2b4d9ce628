// The bot behind a real HTTP server (cpp-httplib): turns each exchange into a Request for the Bot
// and its Response back into HTTP.
#pragma once

#include <memory>
#include <string>

#include "devbot/bot.h"

namespace devbot {

// Threads that serve connections, and how many of them held polls may take at most: the rest
// always answer other requests at once. A poll beyond the limit is answered at once.
inline constexpr int kServerThreads = 32;
inline constexpr int kMostHeldPolls = 24;

class BotServer {
 public:
  explicit BotServer(Bot& bot, int most_held_polls = kMostHeldPolls);
  ~BotServer();
  BotServer(const BotServer&) = delete;
  BotServer& operator=(const BotServer&) = delete;

  // Binds and starts listening; port 0 takes a free port. Returns the port, or -1.
  int Bind(const std::string& host, int port);
  // Serves until Stop. Returns false when the server could not run.
  bool Run();
  // May be called from any thread, before, during or after Run; cuts short any "slow" wait and
  // answers every held poll at once.
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace devbot
