#include "devbot/event_printer.h"

#include <cstdio>
#include <mutex>

#include "devbot/json_text.h"

namespace devbot {

void PrintEvent(const nlohmann::json& event) {
  static std::mutex mutex;
  std::string line = ToJsonText(event) + "\n";
  std::lock_guard lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace devbot
