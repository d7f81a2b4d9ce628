// A tiny plug-in for the host's own tests, loaded through the real loader. Plugin_Init pins the
// library (so that the callbacks the host keeps after an unload still find their code), installs a
// chat hook, registers a one-second timer and, when configured, posts a request. Unlike Palaverlink
// its callbacks stay active after Plugin_Unload, so tests see what the host keeps calling. Every step writes
// a finished line "[test-plugin] ..." to the host's sinks so that tests can follow it.
//
// Configuration, one word a line, in <dir>/ArkApi/Plugins/Palaverlink/test_plugin.txt:
//   url=URL              POST "ping" to URL at start-up
//   echo                 the chat hook shows every line back to its speaker as "[Echo]"
//   leak                 allocate a game buffer at start-up and never free it
//   keep-hook            leave the hook installed on unload
//   no-pin               do not pin the library: its timer and completions outlive its code
//   throw-in-init | throw-in-timer | throw-in-hook | throw-in-completion
#include <spdlog/details/log_msg.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "arkapi/framework.h"
#include "devhost/game_records.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(_WIN32)
#define TEST_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr const char* kChat = "AShooterPlayerController.ServerSendChatMessage_Implementation";

std::vector<std::string> options;
int ticks = 0;
devhost::ServerSendChatMessageFn original_chat = nullptr;

bool Has(const std::string& option) {
  return std::find(options.begin(), options.end(), option) != options.end();
}

void Say(const std::string& text) {
  const std::string line = "[test-plugin] " + text;
  spdlog::details::log_msg message("test-plugin", spdlog::level::info, line);
  for (auto& sink : GetLogSinks()) {
    sink->log(message);
    sink->flush();
  }
}

devhost::FString CopyOf(const devhost::FString& source) {
  devhost::FString copy;
  if (source.data == nullptr || source.count <= 0) return copy;
  auto malloc = reinterpret_cast<devhost::MallocFn>(GetAddress("FMemory.Malloc"));
  const auto bytes = static_cast<std::size_t>(source.count) * sizeof(char16_t);
  copy.data = static_cast<char16_t*>(malloc(bytes, 0));
  std::memcpy(copy.data, source.data, bytes);
  copy.count = copy.capacity = source.count;
  return copy;
}

devhost::FString Text(const std::u16string& text) {
  devhost::FString source{const_cast<char16_t*>(text.c_str()), static_cast<std::int32_t>(text.size() + 1), 0};
  return CopyOf(source);
}

void ChatDetour(AShooterPlayerController* self, devhost::FString* message, int mode) {
  Say("chat hook mode " + std::to_string(mode));
  original_chat(self, message, mode);
  if (Has("throw-in-hook")) throw std::runtime_error("hook failed on purpose");
  if (Has("echo") && self != nullptr && message != nullptr) {
    devhost::FChatMessage record{};
    record.sender_name = Text(u"[Echo]");
    record.message = CopyOf(*message);
    record.received_time = -1.0;
    auto show = reinterpret_cast<devhost::ClientChatMessageFn>(
        GetAddress("AShooterPlayerController.ClientChatMessage"));
    show(self, record);
  }
}

void Pin() {
#if defined(_WIN32)
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&Pin), &module);
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Pin), &info) != 0 && info.dli_fname != nullptr)
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
#endif
}

void ReadOptions() {
  options.clear();
  std::ifstream in(ArkApi::Tools::GetCurrentDir() + "/ArkApi/Plugins/Palaverlink/test_plugin.txt");
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) options.push_back(line);
  }
}

}  // namespace

TEST_PLUGIN_EXPORT void Plugin_Init() {
  ReadOptions();
  if (!Has("no-pin")) Pin();
  ticks = 0;
  Say("init");
  if (Has("throw-in-init")) throw std::runtime_error("init failed on purpose");
  ArkApi::GetHooks().InstallHook(kChat, reinterpret_cast<void*>(&ChatDetour),
                                 reinterpret_cast<void**>(&original_chat));
  API::Timer::Get().RecurringExecuteInternal(
      [] {
        Say("tick " + std::to_string(++ticks));
        if (Has("throw-in-timer")) throw std::runtime_error("timer failed on purpose");
      },
      1, -1, false);
  for (const std::string& option : options) {
    if (option.rfind("url=", 0) != 0) continue;
    API::Requests::Get().CreatePostRequest(
        option.substr(4),
        [](bool success, std::string text) {
          Say("completion " + std::string(success ? "ok " : "failed ") + text);
          if (Has("throw-in-completion")) throw std::runtime_error("completion failed on purpose");
        },
        "ping", "text/plain", {"X-Test-Plugin: 1"});
  }
  if (Has("leak")) reinterpret_cast<devhost::MallocFn>(GetAddress("FMemory.Malloc"))(24, 0);
}

TEST_PLUGIN_EXPORT void Plugin_Unload() {
  Say("unload");
  if (!Has("keep-hook")) ArkApi::GetHooks().RemoveHook(kChat, reinterpret_cast<void*>(&ChatDetour));
}
