#include "core/host/library_pin.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace palaverlink::host {

#if defined(_WIN32)

bool PinLibrary() noexcept {
  HMODULE module = nullptr;
  // FROM_ADDRESS: the module that holds this function; PIN: it stays until the process ends,
  // whatever FreeLibrary calls follow.
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  return GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&PinLibrary), &module) != 0;
}

#else

bool PinLibrary() noexcept {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PinLibrary), &info) == 0 || info.dli_fname == nullptr) return false;
  // NOLOAD finds the library already mapped; NODELETE keeps it mapped after its last dlclose. The
  // reference taken here is never given back.
  return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

#endif

}  // namespace palaverlink::host
