#include "devhost/host.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "host_impl.h"

namespace devhost {
namespace {

Host* current_host = nullptr;

std::filesystem::path CleanRoot(const std::filesystem::path& root) {
  auto clean = std::filesystem::absolute(root).lexically_normal();
  // "dir/" normalises to "dir/" with an empty last element; the framework reports it without.
  if (!clean.has_filename() && clean.has_parent_path() && clean != clean.root_path())
    clean = clean.parent_path();
  return clean;
}

}  // namespace

Host::Impl::Impl(std::filesystem::path root_dir, std::unique_ptr<Environment> environment, bool log_to_stderr)
    : root(CleanRoot(root_dir)),
      env(std::move(environment)),
      log(root / "ArkApi" / "Logs" / "devhost.log", log_to_stderr),
      game_thread(std::this_thread::get_id()) {}

Host::Host(std::filesystem::path root, std::unique_ptr<Environment> environment, bool log_to_stderr) {
  if (current_host != nullptr) throw std::logic_error("only one devhost::Host may exist at a time");
  if (!environment) throw std::invalid_argument("devhost::Host needs an environment");
  impl_ = std::make_unique<Impl>(std::move(root), std::move(environment), log_to_stderr);
  impl_->game = std::make_unique<SimulatedGame>(*impl_);
  for (const auto& [name, own] : SimulatedGame::HookedFunctions()) impl_->hooks.Define(name, own);
  current_host = this;
  LogHostLine("devhost: started in " + impl_->root.string());
}

Host::~Host() {
  Impl& impl = *impl_;
  if (impl.plugin) UnloadPlugin();
  impl.env.reset();  // no transport thread reports outcomes from here on
  impl.work.Close();
  impl.requests.Clear();
  impl.timers.Clear();
  impl.game->DestroyWorld();
  for (const std::string& problem : impl.game->Allocator().Problems()) {
    impl.log.Logger().error("devhost: game allocator: {}", problem);
  }
  impl.game.reset();
  LogHostLine("devhost: stopped");
  current_host = nullptr;
}

Host* Host::Current() { return current_host; }

HostImpl* CurrentImpl() { return current_host ? &HostAccess::Of(*current_host) : nullptr; }

const std::filesystem::path& Host::Root() const { return impl_->root; }
Environment& Host::Env() { return *impl_->env; }
Game& Host::game() { return *impl_->game; }

void Host::WriteConfig(const std::string& text) {
  const auto directory = impl_->root / "ArkApi" / "Plugins" / "Palaverlink";
  std::filesystem::create_directories(directory);
  std::ofstream out(directory / "config.json", std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + (directory / "config.json").string());
}

std::vector<LogLine> Host::LogLines() const {
  std::vector<LogLine> lines;
  for (std::string& text : impl_->log.CapturedLines()) lines.push_back(LogLine{std::move(text)});
  return lines;
}

std::vector<std::string> Host::LogLinesOf(const std::string& logger_name) const {
  std::vector<std::string> lines;
  for (std::string& text : impl_->log.CapturedLines()) {
    if (LineIsOfLogger(text, logger_name)) lines.push_back(std::move(text));
  }
  return lines;
}

void Host::LogHostLine(const std::string& text) { impl_->log.Logger().info("{}", text); }

std::vector<std::string> Host::InstalledHooks() const { return impl_->hooks.Installed(); }

void Host::FailHooksOn(const std::string& function_name, HookFailure failure) {
  impl_->failing_hooks[function_name] = failure;
}
std::vector<int> Host::TimerIntervals() const { return impl_->timers.Intervals(); }

Host::CompletionTimes Host::RequestCompletionTimes() const {
  CompletionTimes times = impl_->completion_times;
  times.median = NearestRank(impl_->completion_each, 50);
  times.p99 = NearestRank(impl_->completion_each, 99);
  return times;
}

std::chrono::nanoseconds NearestRank(std::vector<std::chrono::nanoseconds> times, int percent) {
  if (times.empty()) return std::chrono::nanoseconds{0};
  const std::size_t rank = (times.size() * static_cast<std::size_t>(percent) + 99) / 100;
  const auto at = times.begin() + static_cast<std::ptrdiff_t>(std::max<std::size_t>(rank, 1) - 1);
  std::nth_element(times.begin(), at, times.end());
  return *at;
}

std::vector<std::string> Host::EscapedExceptions() const {
  std::lock_guard lock(impl_->escapes_mutex);
  return impl_->escapes;
}

void Host::Impl::CheckGameThread(const std::string& what) {
  if (!OnGameThread()) RecordEscape(what + " entered plug-in code off the game thread");
}

void Host::Impl::RecordEscape(const std::string& text) {
  {
    std::lock_guard lock(escapes_mutex);
    escapes.push_back(text);
  }
  log.Logger().error("devhost: {}", text);
}

void Host::Impl::Log(const std::string& text) { log.Logger().warn("devhost: {}", text); }

std::filesystem::path BuiltPluginPath() {
  if (const char* from_environment = std::getenv("PALAVERLINK_PLUGIN_PATH")) return from_environment;
  return DEVHOST_BUILT_PLUGIN_PATH;
}

}  // namespace devhost
