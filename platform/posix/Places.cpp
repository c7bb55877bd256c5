#include "platform/Places.h"

#include <cstdlib>

namespace rdrconf::platform {
namespace {

constexpr char kProgramFolder[] = "rdrconf/";

// $variable when it names an absolute folder, with a trailing '/'; empty
// when it is unset, empty or relative (such values are ignored).
std::string AbsoluteFolder(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || value[0] != '/') return {};
  std::string folder = value;
  return folder.back() == '/' ? folder : folder + '/';
}

// $variable/rdrconf/, else $HOME/fallback/rdrconf/.
std::string XdgFolder(const char* variable, const char* fallback, std::string* why) {
  std::string folder = AbsoluteFolder(variable);
  if (folder.empty()) {
    const std::string home = AbsoluteFolder("HOME");
    if (home.empty()) {
      if (why) *why = std::string("neither ") + variable + " nor HOME names an absolute folder";
      return {};
    }
    folder = home + fallback;
  }
  return folder + kProgramFolder;
}

// The first folder of systemd's $variable (a colon-separated list), else
// `fallback`.
std::string ServiceFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  std::string folder = value != nullptr ? std::string(value).substr(0, std::string(value).find(':')) : "";
  if (folder.empty() || folder.front() != '/') return fallback;
  return folder.back() == '/' ? folder : folder + '/';
}

}  // namespace

std::string UserConfigFolder(std::string* why) { return XdgFolder("XDG_CONFIG_HOME", ".config/", why); }
std::string UserDataFolder(std::string* why) { return XdgFolder("XDG_DATA_HOME", ".local/share/", why); }
std::string UserStateFolder(std::string* why) { return XdgFolder("XDG_STATE_HOME", ".local/state/", why); }

std::vector<std::string> SharedDataFolders() {
  std::vector<std::string> folders;
  const char* value = std::getenv("XDG_DATA_DIRS");
  const std::string list = value != nullptr ? value : "";
  for (std::size_t start = 0; start <= list.size();) {
    const std::size_t colon = std::min(list.find(':', start), list.size());
    std::string folder = list.substr(start, colon - start);
    if (!folder.empty() && folder.front() == '/') {
      if (folder.back() != '/') folder += '/';
      folders.push_back(folder + kProgramFolder);
    }
    start = colon + 1;
  }
  if (folders.empty()) folders = {std::string("/usr/local/share/") + kProgramFolder,
                                  std::string("/usr/share/") + kProgramFolder};
  return folders;
}

std::string SystemConfigFolder() { return ServiceFolder("CONFIGURATION_DIRECTORY", "/etc/rdrconf/"); }
std::string SystemStateFolder() { return ServiceFolder("STATE_DIRECTORY", "/var/lib/rdrconf/"); }

}  // namespace rdrconf::platform
