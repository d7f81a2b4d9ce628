// devserver's output on standard output: one JSON object a line, or readable text with --pretty.
// Events: loaded, ready, joined, left, vanished, chat, shown, console-reply, rcon-reply,
// unknown-command, unloaded, leak, and at the end
// exception, allocator-error and misuse for every fault the host saw.
//
// A backlog shows thousands of lines to every player inside the plug-in's request completions,
// whose game-thread time devserver reports: so a shown line is only queued there, and a thread of
// its own formats and writes it, in order with every other event. A line shown to every player is
// kept once for all of them, so a burst costs devserver little memory while its reader catches up.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "devhost/game.h"
#include "devhost/host.h"

namespace devserver {

class EventOutput final : public devhost::GameObserver {
 public:
  EventOutput(std::FILE* out, bool pretty);
  // Writes out everything queued before it returns.
  ~EventOutput();
  EventOutput(const EventOutput&) = delete;
  EventOutput& operator=(const EventOutput&) = delete;

  void Loaded();
  void Ready();
  void Unloaded();
  void Joined(std::uint64_t id);
  void Left(std::uint64_t id);
  void Vanished(std::uint64_t id);
  // No command of that name ran: `via` is "console" or "rcon".
  void UnknownCommand(std::string_view via, const std::u16string& text);
  void Leak(std::size_t count, std::size_t bytes);
  void Completions(const devhost::Host::CompletionTimes& times);
  // A fault the host recorded: kind is "exception", "allocator-error" or "misuse".
  void Fault(const std::string& kind, const std::string& text);

  // Hands over the lines shown since the last call; the game loop calls it at the end of each pass.
  void EndOfTick();

  // GameObserver
  void OnShown(const devhost::ShownLine& shown) override;
  void OnChatHandled(const devhost::HandledChat& chat) override;
  void OnServerMessage(const devhost::ServerMessage& message) override;
  void OnRconReply(const devhost::RconReply& reply) override;

 private:
  // A line shown to player after player is queued once, then the id of each player it went to.
  struct ShownText {
    std::u16string tag;
    std::u16string line;
  };
  struct ShownTo {
    std::uint64_t to;
  };
  // A line ready to write, or one to format; the text apart, so that an event stays small.
  using Event = std::variant<std::string, std::unique_ptr<const ShownText>, ShownTo>;
  // A reader that stops altogether holds the game thread back, as a full pipe does, instead of
  // devserver's memory growing without end; a burst of thousands of shown lines fits well below.
  static constexpr std::size_t kMostQueued = 1 << 16;
  // A pass that shows more than this hands them over as it goes.
  static constexpr std::size_t kMostStaged = 4096;

  void Write(Event event);  // queued for the writer thread at once, after the lines shown before it
  void HandOver();          // what was staged, to the writer thread
  void WriteQueued();       // the writer thread

  std::FILE* out_;
  bool pretty_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable room_;
  std::deque<Event> queue_;
  // Every event is written on the game thread. Shown lines wait here for the end of the loop's
  // pass and go over together: one lock a pass, where a full completion shows 560 lines.
  std::vector<Event> staged_;
  ShownText last_shown_;  // the game thread's alone
  bool closing_ = false;
  std::thread writer_;  // last: it starts once the rest is built
};

}  // namespace devserver
