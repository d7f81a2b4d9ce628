// The framework's console and RCON commands: for each name (case aside) the callback and the
// plug-in that registered it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "arkapi/framework.h"
#include "hook_table.h"

namespace devhost {

enum class CommandWay { kConsole, kRcon };

class CommandTable {
 public:
  struct Entry {
    ArkApi::ICommands::ConsoleCallback console;  // set for kConsole
    ArkApi::ICommands::RconCallback rcon;        // set for kRcon
    OwnerId owner = 0;
  };

  // False when the name is taken on that way in already; the first one stays.
  bool Add(CommandWay way, const std::string& name, Entry entry);
  bool Remove(CommandWay way, const std::string& name);
  // Removes every command of `owner`; returns their names.
  std::vector<std::string> RemoveAllOf(OwnerId owner);

  // The command that `text` runs: the one named by its first word, case aside.
  std::optional<Entry> Find(CommandWay way, const std::string& text) const;
  bool Has(CommandWay way, const std::string& name) const;

 private:
  std::map<std::pair<CommandWay, std::string>, Entry> entries_;  // by lower-case name
};

}  // namespace devhost
