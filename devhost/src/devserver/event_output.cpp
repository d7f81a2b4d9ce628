#include "event_output.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <iterator>

#include "devhost/text.h"

namespace devserver {
namespace {

using Json = nlohmann::ordered_json;  // members in the order written: "event" first

std::string Compact(const Json& event) { return event.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string Id(std::uint64_t id) { return std::to_string(id); }

}  // namespace

EventOutput::EventOutput(std::FILE* out, bool pretty)
    : out_(out), pretty_(pretty), writer_([this] { WriteQueued(); }) {}

EventOutput::~EventOutput() {
  HandOver();
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  queued_.notify_one();
  writer_.join();
}

void EventOutput::Write(Event event) {
  staged_.push_back(std::move(event));
  HandOver();
}

void EventOutput::EndOfTick() { HandOver(); }

void EventOutput::HandOver() {
  if (staged_.empty()) return;
  bool was_empty = false;
  {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return queue_.size() < kMostQueued; });
    was_empty = queue_.empty();
    queue_.insert(queue_.end(), std::make_move_iterator(staged_.begin()),
                  std::make_move_iterator(staged_.end()));
  }
  staged_.clear();
  // Only an empty queue can have the writer waiting.
  if (was_empty) queued_.notify_one();
}

void EventOutput::WriteQueued() {
  // Of the last ShownText: as printed, or as JSON strings, made once for all the players it went to.
  std::string shown_tag, shown_line;
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) return;  // closing, and all written
    std::deque<Event> taken;
    taken.swap(queue_);
    lock.unlock();
    room_.notify_all();
    const auto put = [this](const std::string& line) {
      std::fwrite(line.data(), 1, line.size(), out_);
      std::fputc('\n', out_);
    };
    for (const Event& event : taken) {
      if (const auto* ready = std::get_if<std::string>(&event)) {
        put(*ready);
      } else if (const auto* text = std::get_if<std::unique_ptr<const ShownText>>(&event)) {
        shown_tag = devhost::ToUtf8((*text)->tag);
        shown_line = devhost::ToUtf8((*text)->line);
        if (!pretty_) {
          shown_tag = Compact(shown_tag);
          shown_line = Compact(shown_line);
        }
      } else {
        const std::uint64_t to = std::get<ShownTo>(event).to;
        // The members in Compact's order and spacing, without building a document per player.
        put(pretty_ ? fmt::format("  {} sees: {} {}", to, shown_tag, shown_line)
                    : fmt::format(R"({{"event":"shown","to":"{}","tag":{},"line":{}}})", to, shown_tag,
                                  shown_line));
      }
    }
    std::fflush(out_);
    lock.lock();
  }
}

void EventOutput::Loaded() { Write(pretty_ ? "plug-in loaded" : Compact({{"event", "loaded"}})); }
void EventOutput::Ready() { Write(pretty_ ? "ready for commands" : Compact({{"event", "ready"}})); }
void EventOutput::Unloaded() { Write(pretty_ ? "plug-in unloaded" : Compact({{"event", "unloaded"}})); }

void EventOutput::Joined(std::uint64_t id) {
  Write(pretty_ ? "player " + Id(id) + " joined" : Compact({{"event", "joined"}, {"id", Id(id)}}));
}

void EventOutput::Left(std::uint64_t id) {
  Write(pretty_ ? "player " + Id(id) + " left" : Compact({{"event", "left"}, {"id", Id(id)}}));
}

void EventOutput::Vanished(std::uint64_t id) {
  Write(pretty_ ? "player " + Id(id) + " vanished" : Compact({{"event", "vanished"}, {"id", Id(id)}}));
}

void EventOutput::UnknownCommand(std::string_view via, const std::u16string& text) {
  const std::string command = devhost::ToUtf8(text);
  Write(pretty_ ? fmt::format("no {} command runs: {}", via, command)
                : Compact({{"event", "unknown-command"}, {"via", via}, {"text", command}}));
}

void EventOutput::Leak(std::size_t count, std::size_t bytes) {
  Write(pretty_ ? fmt::format("LEAK: {} game buffer(s), {} byte(s) never freed", count, bytes)
                : Compact({{"event", "leak"}, {"count", count}, {"bytes", bytes}}));
}

void EventOutput::Completions(const devhost::Host::CompletionTimes& times) {
  const auto us = [](std::chrono::nanoseconds time) {
    return std::chrono::duration_cast<std::chrono::microseconds>(time).count();
  };
  Write(pretty_ ? fmt::format("request completions: {}, {} µs in all, median {} µs, 99th percentile {} µs, "
                              "the longest {} µs",
                              times.count, us(times.total), us(times.median), us(times.p99), us(times.worst))
                : Compact({{"event", "completions"},
                           {"count", times.count},
                           {"totalUs", us(times.total)},
                           {"medianUs", us(times.median)},
                           {"p99Us", us(times.p99)},
                           {"worstUs", us(times.worst)}}));
}

void EventOutput::Fault(const std::string& kind, const std::string& text) {
  Write(pretty_ ? kind + ": " + text : Compact({{"event", kind}, {"text", text}}));
}

void EventOutput::OnShown(const devhost::ShownLine& shown) {
  if (shown.line != last_shown_.line || shown.tag != last_shown_.tag) {
    last_shown_ = ShownText{shown.tag, shown.line};
    staged_.emplace_back(std::make_unique<const ShownText>(last_shown_));
  }
  staged_.emplace_back(ShownTo{shown.to});
  if (staged_.size() >= kMostStaged) HandOver();
}

void EventOutput::OnChatHandled(const devhost::HandledChat& chat) {
  const std::string text = devhost::ToUtf8(chat.text);
  Write(pretty_ ? fmt::format("{} says (mode {}): {}", chat.from, chat.mode, text)
                : Compact({{"event", "chat"}, {"from", Id(chat.from)}, {"mode", chat.mode}, {"text", text}}));
}

void EventOutput::OnServerMessage(const devhost::ServerMessage& message) {
  const std::string text = devhost::ToUtf8(message.text);
  Write(pretty_ ? fmt::format("  {} gets from the server:\n{}", message.to, text)
                : Compact({{"event", "console-reply"}, {"to", Id(message.to)}, {"text", text}}));
}

void EventOutput::OnRconReply(const devhost::RconReply& reply) {
  const std::string text = devhost::ToUtf8(reply.text);
  Write(pretty_ ? fmt::format("  RCON reply to packet {}:\n{}", reply.packet_id, text)
                : Compact({{"event", "rcon-reply"}, {"id", reply.packet_id}, {"text", text}}));
}

}  // namespace devserver
