// Loading, unloading and reloading the plug-in, as the framework's plug-in manager does.
#include <fmt/format.h>

#include <stdexcept>
#include <system_error>

#include "host_impl.h"
#include "plugin_info.h"

namespace devhost {
namespace {

constexpr char kInfoFile[] = "PluginInfo.json";
constexpr char kUpdateSuffix[] = ".ArkApi";

std::filesystem::path WaitingUpdate(const std::filesystem::path& library) {
  auto waiting = library;
  waiting += kUpdateSuffix;
  return waiting;
}

// Copies through a temporary name and renames, so that a library mapped by an earlier load is
// never overwritten in place. Throws filesystem_error, also when the system holds the target.
void InstallFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  auto temporary = to;
  temporary += ".copying";
  std::filesystem::copy_file(from, temporary, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::rename(temporary, to);
}

// The PluginInfo.json beside `library`, copied to `to` when there is one.
void CopyInfoBeside(const std::filesystem::path& library, const std::filesystem::path& to) {
  const auto info = library.parent_path() / kInfoFile;
  std::error_code error;
  if (std::filesystem::is_regular_file(info, error) && !std::filesystem::equivalent(info, to, error))
    InstallFile(info, to);
}

// Puts the waiting update in place of `library`. A library that the process still holds cannot be
// replaced (on Windows the system refuses; elsewhere the same rule is kept, so that both behave as
// the server does); the update then stays where it is. Returns what happened, for the log.
std::string InstallWaitingUpdate(const std::filesystem::path& library) {
  const auto waiting = WaitingUpdate(library);
  std::error_code error;
  if (!std::filesystem::is_regular_file(waiting, error)) return {};
  if (PluginLibrary::IsResident(library)) {
    return fmt::format(
        "devhost: cannot replace {}: the process still holds it; the update {} waits for the next start",
        library.string(), waiting.string());
  }
  try {
    InstallFile(waiting, library);
    std::filesystem::remove(waiting);
    const auto info = library.parent_path() / kInfoFile;
    if (std::filesystem::is_regular_file(WaitingUpdate(info), error)) {
      InstallFile(WaitingUpdate(info), info);
      std::filesystem::remove(WaitingUpdate(info));
    }
  } catch (const std::filesystem::filesystem_error& failure) {
    return fmt::format("devhost: cannot install the update {}: {}; it waits for the next start",
                       waiting.string(), failure.what());
  }
  return fmt::format("devhost: installed the update {} as {}", waiting.string(), library.string());
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
    // A library that the process still holds is loaded as it is: its file cannot be replaced.
    if (!std::filesystem::equivalent(library, target, error)) {
      if (PluginLibrary::IsResident(target)) {
        LogHostLine(fmt::format("devhost: {} is still held from an earlier load and is loaded again as it is",
                                target.string()));
      } else {
        InstallFile(library, target);
        CopyInfoBeside(library, directory / kInfoFile);
      }
    }
  } catch (const std::filesystem::filesystem_error& failure) {
    return {false,
            fmt::format("cannot copy {} to {}: {}", library.string(), target.string(), failure.what())};
  }
  if (const std::string installed = InstallWaitingUpdate(target); !installed.empty()) LogHostLine(installed);

  const PluginInfoResult info = ReadPluginInfo(target);
  if (!info.error.empty()) return {false, "cannot read " + info.error};
  if (!info.found) LogHostLine(fmt::format("devhost: no {} beside {}", kInfoFile, target.string()));
  if (info.info.min_api_version > kFrameworkVersion) {
    return {false, fmt::format("{} needs framework version {:.1f} or newer; this is {:.1f}",
                               info.info.full_name, info.info.min_api_version, kFrameworkVersion)};
  }
  // Only one plug-in is loaded at a time, so no dependency can be met.
  if (!info.info.dependencies.empty()) {
    return {false, fmt::format("{} needs the plug-in {}, which is not loaded", info.info.full_name,
                               info.info.dependencies.front())};
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
  impl.last_plugin_file = target;

  LogHostLine("devhost: loading plug-in " + target.string());
  impl.CallInto(impl.plugin->owner, "Plugin_Init", [&] { impl.plugin->init(); });
  impl.log.Logger().info("{}", LoadedLine(info.info));
  return {true, {}};
}

void Host::UnloadPlugin() {
  Impl& impl = *impl_;
  if (!impl.plugin) return;
  if (impl.current_owner != 0) throw std::logic_error("the plug-in cannot be unloaded from its own code");
  const OwnerId owner = impl.plugin->owner;
  impl.CallInto(owner, "Plugin_Unload", [&] { impl.plugin->unload(); });

  std::string callbacks;
  if (impl.unload_drops_callbacks) {
    const std::size_t timers = impl.timers.DropAllOf(owner);
    const std::size_t requests = impl.requests.DropAllOf(owner);
    callbacks = fmt::format("dropped {} timer(s), {} request completion(s)", timers, requests);
  } else {
    callbacks = fmt::format("{} timer(s) and {} request completion(s) stay with the host",
                            impl.timers.CountOf(owner), impl.requests.CountOf(owner));
  }
  // A detour into a library that may be gone would crash the next call of the game function.
  for (const std::string& name : impl.hooks.RemoveAllOf(owner)) {
    LogHostLine("devhost: removed a hook on " + name + " that the plug-in left installed");
  }
  // As the framework does: a command of a plug-in that is gone is gone too.
  for (const std::string& name : impl.commands.RemoveAllOf(owner)) {
    LogHostLine("devhost: removed the command " + name + " that the plug-in left registered");
  }
  const auto path = impl.plugin->path;
  impl.plugin.reset();
  const bool resident = PluginLibrary::IsResident(path);
  LogHostLine(fmt::format("devhost: unloaded plug-in {} ({}; the library {})", path.string(), callbacks,
                          resident ? "stays in memory" : "is gone from memory"));
}

PluginLoadResult Host::ReloadPlugin(const std::filesystem::path& library) {
  Impl& impl = *impl_;
  if (!impl.plugin) return {false, "reload: no plug-in is loaded"};
  const auto target = impl.plugin->path;
  std::error_code error;
  if (!std::filesystem::is_regular_file(library, error))
    return {false, "plug-in library not found: " + library.string()};
  try {
    if (!std::filesystem::equivalent(library, target, error)) {
      InstallFile(library, WaitingUpdate(target));
      CopyInfoBeside(library, WaitingUpdate(target.parent_path() / kInfoFile));
    }
  } catch (const std::filesystem::filesystem_error& failure) {
    return {false,
            fmt::format("cannot put {} beside {}: {}", library.string(), target.string(), failure.what())};
  }
  UnloadPlugin();
  return LoadPlugin(target);
}

void Host::SetUnloadDropsCallbacks(bool drop) { impl_->unload_drops_callbacks = drop; }

std::filesystem::path Host::PluginFile() const { return impl_->last_plugin_file; }

bool Host::PluginLoaded() const { return impl_->plugin != nullptr; }

}  // namespace devhost
