// Loading and unloading the plug-in, as the framework's loader does.
#include <fmt/format.h>

#include <stdexcept>
#include <system_error>

#include "host_impl.h"

namespace devhost {
namespace {

// Copies through a temporary name and renames, so that a library mapped by an earlier load is
// never overwritten in place.
void InstallLibrary(const std::filesystem::path& from, const std::filesystem::path& to) {
  auto temporary = to;
  temporary += ".copying";
  std::filesystem::copy_file(from, temporary, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::rename(temporary, to);
}

}  // namespace

PluginLoadResult Host::LoadPlugin(const std::filesystem::path& library) {
  Impl& impl = *impl_;
  if (impl.plugin) return {false, "a plug-in is loaded already: " + impl.plugin->path.string()};
  std::error_code error;
  if (!std::filesystem::is_regular_file(library, error)) {
    return {false, "plug-in library not found: " + library.string()};
  }
  const auto directory = impl.root / "ArkApi" / "Plugins" / "Palaverlink";
  const auto target = directory / library.filename();
  try {
    std::filesystem::create_directories(directory);
    if (!std::filesystem::equivalent(library, target, error)) InstallLibrary(library, target);
  } catch (const std::filesystem::filesystem_error& failure) {
    return {false,
            fmt::format("cannot copy {} to {}: {}", library.string(), target.string(), failure.what())};
  }

  std::string reason;
  auto opened = PluginLibrary::Open(target, reason);
  if (!opened) return {false, fmt::format("cannot load {}: {}", target.string(), reason)};
  auto loaded = std::make_unique<LoadedPlugin>();
  loaded->init = reinterpret_cast<void (*)()>(opened->Symbol("Plugin_Init"));
  loaded->unload = reinterpret_cast<void (*)()>(opened->Symbol("Plugin_Unload"));
  for (auto [name, found] : {std::pair{"Plugin_Init", loaded->init != nullptr},
                             std::pair{"Plugin_Unload", loaded->unload != nullptr}}) {
    if (!found) return {false, fmt::format("{} does not export {}", target.string(), name)};
  }
  loaded->library = std::move(opened);
  loaded->owner = impl.next_owner++;
  loaded->path = target;
  impl.plugin = std::move(loaded);

  LogHostLine("devhost: loading plug-in " + target.string());
  impl.CallInto(impl.plugin->owner, "Plugin_Init", [&] { impl.plugin->init(); });
  return {true, {}};
}

void Host::UnloadPlugin() {
  Impl& impl = *impl_;
  if (!impl.plugin) return;
  if (impl.current_owner != 0) throw std::logic_error("the plug-in cannot be unloaded from its own code");
  const OwnerId owner = impl.plugin->owner;
  impl.CallInto(owner, "Plugin_Unload", [&] { impl.plugin->unload(); });

  // Nothing may reach the library's code once it is gone: not a timer, not a completion (not even
  // to destroy it), not a detour that the plug-in left installed.
  const std::size_t timers = impl.timers.DropAllOf(owner);
  const std::size_t requests = impl.requests.DropAllOf(owner);
  for (const std::string& name : impl.hooks.RemoveAllOf(owner)) {
    LogHostLine("devhost: removed a hook on " + name + " that the plug-in left installed");
  }
  const auto path = impl.plugin->path;
  impl.plugin.reset();
  LogHostLine(fmt::format("devhost: unloaded plug-in {} (dropped {} timer(s), {} request completion(s))",
                          path.string(), timers, requests));
}

bool Host::PluginLoaded() const { return impl_->plugin != nullptr; }

}  // namespace devhost
