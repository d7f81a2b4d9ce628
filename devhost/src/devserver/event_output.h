// devserver's output on standard output: one JSON object a line, or readable text with --pretty.
// Events: loaded, ready, joined, left, vanished, chat, shown, console-reply, rcon-reply,
// unknown-command, unloaded, leak, and at the end
// exception, allocator-error and misuse for every fault the host saw.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "devhost/game.h"
#include "devhost/host.h"

namespace devserver {

class EventOutput final : public devhost::GameObserver {
 public:
  EventOutput(std::FILE* out, bool pretty) : out_(out), pretty_(pretty) {}

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

  // GameObserver
  void OnShown(const devhost::ShownLine& shown) override;
  void OnChatHandled(const devhost::HandledChat& chat) override;
  void OnServerMessage(const devhost::ServerMessage& message) override;
  void OnRconReply(const devhost::RconReply& reply) override;

 private:
  void Write(const std::string& line);

  std::mutex mutex_;
  std::FILE* out_;
  bool pretty_;
};

}  // namespace devserver
