// The framework API that plug-ins call, answered by the current host.
#include "arkapi/framework.h"

#include "host_impl.h"

namespace {

using devhost::CurrentImpl;

class HostHooks final : public ArkApi::IHooks {
 public:
  bool RemoveHook(const std::string& function_name, void* detour) override {
    auto* impl = CurrentImpl();
    return impl != nullptr && impl->RemoveHook(function_name, detour);
  }
  bool InstallHook(const std::string& function_name, void* detour, void** original) override {
    auto* impl = CurrentImpl();
    return impl != nullptr && impl->InstallHook(function_name, detour, original);
  }
};

class HostCommands final : public ArkApi::ICommands {
 public:
  void AddConsoleCommand(const std::string& name, const ConsoleCallback& callback) override {
    devhost::CommandTable::Entry entry;
    entry.console = callback;
    if (auto* impl = CurrentImpl()) impl->AddCommand(devhost::CommandWay::kConsole, name, std::move(entry));
  }
  void AddRconCommand(const std::string& name, const RconCallback& callback) override {
    devhost::CommandTable::Entry entry;
    entry.rcon = callback;
    if (auto* impl = CurrentImpl()) impl->AddCommand(devhost::CommandWay::kRcon, name, std::move(entry));
  }
  bool RemoveConsoleCommand(const std::string& name) override {
    auto* impl = CurrentImpl();
    return impl != nullptr && impl->RemoveCommand(devhost::CommandWay::kConsole, name);
  }
  bool RemoveRconCommand(const std::string& name) override {
    auto* impl = CurrentImpl();
    return impl != nullptr && impl->RemoveCommand(devhost::CommandWay::kRcon, name);
  }
};

class HostApiUtils final : public ArkApi::IApiUtils {
 public:
  UWorld* CurrentWorld() const override {
    auto* impl = CurrentImpl();
    return impl ? impl->game->World() : nullptr;
  }
};

class HostTimer final : public API::Timer {
 public:
  void RecurringExecuteInternal(const std::function<void()>& callback, int execution_interval,
                                int execution_counter, bool /*async*/) override {
    if (auto* impl = CurrentImpl()) impl->AddTimer(callback, execution_interval, execution_counter);
  }
};

class HostRequests final : public API::Requests {
 public:
  bool CreateGetRequest(const std::string& url, const Completion& completion,
                        std::vector<std::string> headers) override {
    auto* impl = CurrentImpl();
    return impl != nullptr && impl->CreateRequest("GET", url, completion, {}, {}, std::move(headers));
  }
  bool CreatePostRequest(const std::string& url, const Completion& completion, const std::string& post_data,
                         const std::string& content_type, std::vector<std::string> headers) override {
    auto* impl = CurrentImpl();
    return impl != nullptr &&
           impl->CreateRequest("POST", url, completion, post_data, content_type, std::move(headers));
  }
};

}  // namespace

namespace ArkApi {

IHooks& GetHooks() {
  static HostHooks hooks;
  return hooks;
}

ICommands& GetCommands() {
  static HostCommands commands;
  return commands;
}

IApiUtils& GetApiUtils() {
  static HostApiUtils utils;
  return utils;
}

std::string Tools::GetCurrentDir() {
  auto* impl = CurrentImpl();
  return impl ? impl->root.string() : std::string();
}

}  // namespace ArkApi

namespace API {

Timer& Timer::Get() {
  static HostTimer timer;
  return timer;
}

Requests& Requests::Get() {
  static HostRequests requests;
  return requests;
}

}  // namespace API

void* GetAddress(const std::string& name) {
  return CurrentImpl() ? devhost::SimulatedGame::FunctionAddress(name) : nullptr;
}

void* GetAddress(const void* object, const std::string& name) {
  auto* impl = CurrentImpl();
  return impl ? impl->game->FieldAddress(object, name) : nullptr;
}

std::vector<spdlog::sink_ptr>& GetLogSinks() {
  auto* impl = CurrentImpl();
  if (impl == nullptr) {
    static std::vector<spdlog::sink_ptr> none;
    none.clear();
    return none;
  }
  return impl->log.Shared();
}
