// The logger formats its own lines and hands each host sink the finished text. Setting a pattern
// on a logger would re-format the shared sinks themselves and change how the host's lines look,
// so the plug-in's pattern lives in sinks of its own that wrap the host's.
#include "core/log_channel.h"

#include <spdlog/details/log_msg.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/base_sink.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/control_characters.h"
#include "core/host/host_api.h"
#include "core/log_text.h"

namespace palaverlink {
namespace {

constexpr char kLinePattern[] = "%D %R [%n][%l] %v";

// Formats with the plug-in's pattern (local time, no line end) and forwards the finished text as
// the payload of a new message to the host's sink.
class PreformattingSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  explicit PreformattingSink(spdlog::sink_ptr target) : target_(std::move(target)) {
    set_formatter_(std::make_unique<spdlog::pattern_formatter>(kLinePattern, spdlog::pattern_time_type::local,
                                                               std::string()));
  }

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override {
    if (!target_->should_log(msg.level)) return;
    spdlog::memory_buf_t line;
    const std::string_view payload(msg.payload.data(), msg.payload.size());
    if (HasLayoutControl(payload)) {
      // Text from outside (chat, names, answers) must not start a line of its own in the log.
      const std::string escaped = EscapeControlCharacters(payload);
      spdlog::details::log_msg one_line = msg;
      one_line.payload = spdlog::string_view_t(escaped.data(), escaped.size());
      formatter_->format(one_line, line);
    } else {
      formatter_->format(msg, line);
    }
    const spdlog::details::log_msg finished(msg.time, msg.source, msg.logger_name, msg.level,
                                            spdlog::string_view_t(line.data(), line.size()));
    target_->log(finished);
  }

  void flush_() override { target_->flush(); }

 private:
  spdlog::sink_ptr target_;
};

// A logger without sinks.
std::shared_ptr<spdlog::logger> WritingNowhere() { return std::make_shared<spdlog::logger>("Palaverlink"); }

// The plug-in's logger; until the channel is opened, one that writes nowhere.
std::shared_ptr<spdlog::logger>& LogChannel() {
  // Never destroyed: see core/guard.cpp.
  static auto* const logger = new std::shared_ptr<spdlog::logger>(WritingNowhere());
  return *logger;
}

}  // namespace

void OpenLogChannel(const std::string& name) {
  std::vector<spdlog::sink_ptr> sinks;
  for (auto& host_sink : host::LogSinks()) sinks.push_back(std::make_shared<PreformattingSink>(host_sink));
  auto logger = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());
  logger->flush_on(spdlog::level::info);
  LogChannel() = std::move(logger);
}

spdlog::logger& Log() { return *LogChannel(); }

void ResetLogChannel() { LogChannel() = WritingNowhere(); }

}  // namespace palaverlink
