// The framework's shared log sinks. They write finished lines: the payload a logger hands them, as
// it stands, plus a newline. Each logger formats its own lines, so no logger can change how the
// others' lines look; setting a pattern or formatter on these sinks does nothing.
#pragma once

#include <spdlog/details/log_msg.h>
#include <spdlog/formatter.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace devhost {

class FinishedLineSink : public spdlog::sinks::base_sink<std::mutex> {
 protected:
  void sink_it_(const spdlog::details::log_msg& msg) final;
  void flush_() override {}
  void set_pattern_(const std::string& /*pattern*/) final {}
  void set_formatter_(std::unique_ptr<spdlog::formatter> /*formatter*/) final {}

  // One line without its newline; called under the sink's lock.
  virtual void WriteLine(std::string_view line) = 0;
};

class StderrLineSink final : public FinishedLineSink {
 protected:
  void WriteLine(std::string_view line) override;
  void flush_() override;
};

class FileLineSink final : public FinishedLineSink {
 public:
  // Appends to `path`, creating it and its directories.
  explicit FileLineSink(const std::filesystem::path& path);
  ~FileLineSink() override;
  FileLineSink(const FileLineSink&) = delete;
  FileLineSink& operator=(const FileLineSink&) = delete;

 protected:
  void WriteLine(std::string_view line) override;
  void flush_() override;

 private:
  std::FILE* file_ = nullptr;
};

class CaptureLineSink final : public FinishedLineSink {
 public:
  std::vector<std::string> Lines();

 protected:
  void WriteLine(std::string_view line) override;

 private:
  std::vector<std::string> lines_;  // guarded by the sink's lock
};

// Formats a logger's messages with its own pattern and hands the finished text to other sinks.
class FormattingSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  FormattingSink(const std::string& pattern, std::vector<spdlog::sink_ptr> targets);

 protected:
  void sink_it_(const spdlog::details::log_msg& msg) override;
  void flush_() override;
  void set_pattern_(const std::string& /*pattern*/) override {}
  void set_formatter_(std::unique_ptr<spdlog::formatter> /*formatter*/) override {}

 private:
  std::unique_ptr<spdlog::formatter> own_formatter_;
  std::vector<spdlog::sink_ptr> targets_;
};

// The host's sinks and its own logger "devhost".
class HostLog {
 public:
  HostLog(const std::filesystem::path& log_file, bool to_stderr);

  std::vector<spdlog::sink_ptr>& Shared() { return shared_; }
  spdlog::logger& Logger() { return *logger_; }
  std::vector<std::string> CapturedLines() { return capture_->Lines(); }

 private:
  std::shared_ptr<CaptureLineSink> capture_;
  std::vector<spdlog::sink_ptr> shared_;
  std::shared_ptr<spdlog::logger> logger_;
};

// True when `line` carries "[name]" right after its date and time (either the plug-in's
// "MM/DD/YY HH:MM " or devhost's "[YYYY-MM-DD HH:MM:SS.mmm] " prefix).
bool LineIsOfLogger(std::string_view line, std::string_view name);

inline constexpr const char* kHostPattern = "[%Y-%m-%d %H:%M:%S.%e] [%n] [%l] %v";

}  // namespace devhost
