// palaverlink-devbot run by a test: its printed events and its admin interface.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "json_events.h"

namespace palaverlink::e2e {

class DevbotProcess {
 public:
  // Listens on 127.0.0.1:port (0: a free port); an empty key turns the key check off. Waits for the
  // "listening" event; started() tells whether it came.
  DevbotProcess(const std::filesystem::path& stderr_file, int port = 0, const std::string& api_key = "");

  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  pid_t pid() const { return process_->pid(); }

  // The printed events of that kind ("inbound", "leave", ...), in order.
  std::vector<Json> Events(const std::string& kind) const;
  std::optional<Json> WaitForEvent(const std::string& kind, std::chrono::milliseconds timeout,
                                   const std::function<bool(const Json&)>& match = nullptr);

  // The admin interface; a JSON null when the request failed.
  Json AdminGet(const std::string& path) const;
  Json AdminPost(const std::string& path, const Json& body) const;
  // Queues an outside-platform line for one map, or for every known map without `map_id`.
  bool Say(const std::string& author, const std::string& message,
           const std::optional<std::string>& map_id = std::nullopt) const;
  bool SetFault(const std::string& mode, int ms = 0) const;
  // True when the bot knows every one of these maps.
  bool KnowsMaps(const std::vector<std::string>& map_ids) const;

  // SIGTERM, and the exit status once it has stopped (it is killed after a few seconds).
  std::optional<int> Stop();
  // SIGKILL: the bot dies without answering what it holds.
  void Kill();

 private:
  std::unique_ptr<ChildProcess> process_;
  int port_ = -1;
};

// A loopback port that nothing listens on right now.
int UnusedLoopbackPort();

}  // namespace palaverlink::e2e
