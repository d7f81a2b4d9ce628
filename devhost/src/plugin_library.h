// A loaded plug-in library: open, look up an export, close. dlopen on POSIX systems, LoadLibrary
// on Windows.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace devhost {

class PluginLibrary {
 public:
  virtual ~PluginLibrary() = default;  // closes the library

  // The exported symbol, or null.
  virtual void* Symbol(const std::string& name) = 0;

  // The library, or null with the reason in `error`.
  static std::unique_ptr<PluginLibrary> Open(const std::filesystem::path& path, std::string& error);

  // Whether the library at `path` is still mapped into this process (a closed library that pinned
  // itself stays); asking does not load it.
  static bool IsResident(const std::filesystem::path& path);
};

}  // namespace devhost
