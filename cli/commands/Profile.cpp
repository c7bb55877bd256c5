#include "cli/commands/Profile.h"

#include <fstream>

#include <nlohmann/json.hpp>

namespace rdrconf::cli {

std::optional<ReaderSettings> ReadProfile(const std::string& path, std::string& why) {
  using Json = nlohmann::ordered_json;
  std::ifstream file(path);
  if (!file) {
    why = "cannot read the profile " + path;
    return std::nullopt;
  }
  const Json profile = Json::parse(file, nullptr, false);
  if (profile.is_discarded() || !profile.is_object()) {
    why = path + " is not JSON";
    return std::nullopt;
  }
  if (profile.value("rdrconf_profile", 0) != kProfileVersion || !profile.contains("settings")) {
    why = path + " is not a profile of rdrconf-cli export (version " + std::to_string(kProfileVersion) + ")";
    return std::nullopt;
  }
  const std::optional<ReaderSettings> settings = ReaderSettings::FromJson(profile["settings"]);
  if (!settings) why = path + ": its settings are incomplete or out of range";
  return settings;
}

}  // namespace rdrconf::cli
