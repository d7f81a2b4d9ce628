#if defined(_WIN32)
#include <windows.h>

#include <string>

#include "plugin_library.h"

namespace devhost {
namespace {

class WindowsLibrary final : public PluginLibrary {
 public:
  explicit WindowsLibrary(HMODULE module) : module_(module) {}
  ~WindowsLibrary() override { FreeLibrary(module_); }
  WindowsLibrary(const WindowsLibrary&) = delete;
  WindowsLibrary& operator=(const WindowsLibrary&) = delete;

  void* Symbol(const std::string& name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name.c_str()));
  }

 private:
  HMODULE module_;
};

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::filesystem::path& path, std::string& error) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    error = "LoadLibrary failed with error " + std::to_string(GetLastError());
    return nullptr;
  }
  return std::make_unique<WindowsLibrary>(module);
}

bool PluginLibrary::IsResident(const std::filesystem::path& path) {
  // No reference is taken: the answer holds only until the next load or unload.
  return GetModuleHandleW(path.c_str()) != nullptr;
}

}  // namespace devhost
#endif
