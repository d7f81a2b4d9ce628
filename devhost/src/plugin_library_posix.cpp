#if !defined(_WIN32)
#include <dlfcn.h>

#include "plugin_library.h"

namespace devhost {
namespace {

class DlLibrary final : public PluginLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  ~DlLibrary() override { dlclose(handle_); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;

  void* Symbol(const std::string& name) override { return dlsym(handle_, name.c_str()); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Open(const std::filesystem::path& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason ? reason : "dlopen failed";
    return nullptr;
  }
  return std::make_unique<DlLibrary>(handle);
}

bool PluginLibrary::IsResident(const std::filesystem::path& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);  // gives back the reference that the question took
  return true;
}

}  // namespace devhost
#endif
