// The configuration loader on any bytes: either settings, or one error text that the start-up
// writes as its single "Config error" line. Never a crash, never another kind of exception.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "core/settings.h"
#include "fuzz_check.h"

namespace {

using palaverlink::PluginSettings;

// A key present with the type the setting takes must come through unchanged.
template <typename Value>
void CheckTaken(const nlohmann::json& document, const char* key, const Value& read,
                bool (nlohmann::json::*is_type)() const noexcept) {
  const auto found = document.find(key);
  if (found == document.end() || !((*found).*is_type)()) return;
  FUZZ_CHECK(found->get<Value>() == read, "key %s was not taken as it stands", key);
}

void CheckSettings(const nlohmann::json& document, const PluginSettings& read) {
  FUZZ_CHECK(read.BridgeUrl.empty() || read.BridgeUrl.back() != '/', "BridgeUrl keeps a trailing slash: %s",
             read.BridgeUrl.c_str());
  if (!document.is_object()) return;
  CheckTaken(document, "ApiKey", read.ApiKey, &nlohmann::json::is_string);
  CheckTaken(document, "MapId", read.MapId, &nlohmann::json::is_string);
  CheckTaken(document, "Debug", read.Debug, &nlohmann::json::is_boolean);
  CheckTaken(document, "RelayGlobalChat", read.RelayGlobalChat, &nlohmann::json::is_boolean);
  CheckTaken(document, "RelayTribeChat", read.RelayTribeChat, &nlohmann::json::is_boolean);
  CheckTaken(document, "RelayAllianceChat", read.RelayAllianceChat, &nlohmann::json::is_boolean);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  PluginSettings settings;
  try {
    std::istringstream in(text);
    const nlohmann::json document = palaverlink::ParseConfig(in);
    palaverlink::ReadSettings(document, settings);
    CheckSettings(document, settings);
  } catch (const std::exception& error) {
    const std::string message = error.what();
    FUZZ_CHECK(!message.empty(), "an error without a text");
    FUZZ_CHECK(message.find('\n') == std::string::npos, "the error text spans lines: %s", message.c_str());
  }
  return 0;
}
