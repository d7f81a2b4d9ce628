#include "log_sinks.h"

#include <spdlog/pattern_formatter.h>

#include <cctype>
#include <system_error>

namespace devhost {

void FinishedLineSink::sink_it_(const spdlog::details::log_msg& msg) {
  WriteLine(std::string_view(msg.payload.data(), msg.payload.size()));
}

void StderrLineSink::WriteLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

void StderrLineSink::flush_() { std::fflush(stderr); }

FileLineSink::FileLineSink(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  file_ = std::fopen(path.string().c_str(), "ab");
  if (file_ == nullptr)
    throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
}

FileLineSink::~FileLineSink() { std::fclose(file_); }

void FileLineSink::WriteLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
}

void FileLineSink::flush_() { std::fflush(file_); }

std::vector<std::string> CaptureLineSink::Lines() {
  std::lock_guard lock(mutex_);
  return lines_;
}

void CaptureLineSink::WriteLine(std::string_view line) { lines_.emplace_back(line); }

FormattingSink::FormattingSink(const std::string& pattern, std::vector<spdlog::sink_ptr> targets)
    : own_formatter_(
          std::make_unique<spdlog::pattern_formatter>(pattern, spdlog::pattern_time_type::local, "")),
      targets_(std::move(targets)) {}

void FormattingSink::sink_it_(const spdlog::details::log_msg& msg) {
  spdlog::memory_buf_t text;
  own_formatter_->format(msg, text);
  spdlog::details::log_msg finished(msg.time, msg.source, msg.logger_name, msg.level,
                                    spdlog::string_view_t(text.data(), text.size()));
  for (auto& target : targets_) {
    if (target->should_log(msg.level)) target->log(finished);
  }
}

void FormattingSink::flush_() {
  for (auto& target : targets_) target->flush();
}

HostLog::HostLog(const std::filesystem::path& log_file, bool to_stderr)
    : capture_(std::make_shared<CaptureLineSink>()) {
  if (to_stderr) shared_.push_back(std::make_shared<StderrLineSink>());
  shared_.push_back(std::make_shared<FileLineSink>(log_file));
  shared_.push_back(capture_);
  logger_ =
      std::make_shared<spdlog::logger>("devhost", std::make_shared<FormattingSink>(kHostPattern, shared_));
  logger_->flush_on(spdlog::level::info);
}

namespace {

// Matches `shape` against the start of `line`: '9' is any digit, every other character itself.
bool StartsWithShape(std::string_view line, std::string_view shape) {
  if (line.size() < shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (shape[i] == '9' ? !std::isdigit(c) : line[i] != shape[i]) return false;
  }
  return true;
}

}  // namespace

bool LineIsOfLogger(std::string_view line, std::string_view name) {
  for (std::string_view shape :
       {std::string_view("99/99/99 99:99 "), std::string_view("[9999-99-99 99:99:99.999] ")}) {
    if (!StartsWithShape(line, shape)) continue;
    std::string_view rest = line.substr(shape.size());
    return rest.size() >= name.size() + 2 && rest[0] == '[' && rest.substr(1, name.size()) == name &&
           rest[name.size() + 1] == ']';
  }
  return false;
}

}  // namespace devhost
