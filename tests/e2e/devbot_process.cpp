#include "devbot_process.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace palaverlink::e2e {

using namespace std::chrono_literals;

DevbotProcess::DevbotProcess(const std::filesystem::path& stderr_file, int port, const std::string& api_key) {
  std::vector<std::string> arguments{"--listen", "127.0.0.1:" + std::to_string(port)};
  if (!api_key.empty()) arguments.insert(arguments.end(), {"--api-key", api_key});
  process_ = std::make_unique<ChildProcess>(PALAVERLINK_DEVBOT, arguments, stderr_file);
  if (!process_->started()) return;
  std::optional<Json> listening = WaitForEvent("listening", 10s);
  if (listening) port_ = listening->value("port", -1);
}

std::vector<Json> DevbotProcess::Events(const std::string& kind) const { return EventsOf(*process_, kind); }

std::optional<Json> DevbotProcess::WaitForEvent(const std::string& kind, std::chrono::milliseconds timeout,
                                                const std::function<bool(const Json&)>& match) {
  return e2e::WaitForEvent(
      *process_,
      [&](const Json& event) { return event.value("event", "") == kind && (!match || match(event)); },
      timeout);
}

Json DevbotProcess::AdminGet(const std::string& path) const {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(2);
  client.set_read_timeout(5);
  httplib::Result answer = client.Get(path.c_str());
  if (!answer || answer->status != 200) return nullptr;
  return Json::parse(answer->body, nullptr, false);
}

Json DevbotProcess::AdminPost(const std::string& path, const Json& body) const {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(2);
  client.set_read_timeout(5);
  httplib::Result answer = client.Post(path.c_str(), body.dump(), "application/json");
  if (!answer || answer->status != 200) return nullptr;
  return Json::parse(answer->body, nullptr, false);
}

bool DevbotProcess::Say(const std::string& author, const std::string& message,
                        const std::optional<std::string>& map_id) const {
  Json body{{"author", author}, {"message", message}};
  if (map_id) body["mapId"] = *map_id;
  return !AdminPost("/admin/say", body).is_null();
}

bool DevbotProcess::SetFault(const std::string& mode, int ms) const {
  Json body{{"mode", mode}};
  if (ms > 0) body["ms"] = ms;
  return !AdminPost("/admin/fault", body).is_null();
}

bool DevbotProcess::KnowsMaps(const std::vector<std::string>& map_ids) const {
  const Json maps = AdminGet("/admin/maps");
  if (!maps.is_object()) return false;
  for (const std::string& wanted : map_ids) {
    bool known = false;
    for (const Json& map : maps.value("maps", Json::array()))
      known = known || map.value("mapId", "") == wanted;
    if (!known) return false;
  }
  return true;
}

std::optional<int> DevbotProcess::Stop() { return process_->Stop(SIGTERM, 5s); }

void DevbotProcess::Kill() { process_->Stop(SIGKILL, 5s); }

int UnusedLoopbackPort() {
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = -1;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(probe);
  return port;
}

}  // namespace palaverlink::e2e
