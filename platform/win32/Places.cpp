#include "platform/Places.h"

#include <windows.h>

#include "platform/Text.h"

// Windows has no XDG folders: %APPDATA% (the user's roaming application
// data) stands for the configuration and data folders, %LOCALAPPDATA% (this
// computer's, not roaming) for the state, and the folder of the running
// program, where the zip and the installer put the shipped files, for the
// shared data folders.
namespace rdrconf::platform {
namespace {

constexpr char kProgramFolder[] = "rdrconf\\";

// %variable%\rdrconf\ when it names an absolute folder.
std::string KnownFolder(const wchar_t* variable, const char* name, std::string* why) {
  wchar_t value[32768];
  const DWORD units = GetEnvironmentVariableW(variable, value, 32768);
  std::string folder = units > 0 && units < 32768 ? Utf8(std::wstring_view(value, units)) : std::string();
  const bool absolute = (folder.size() >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/')) ||
                        folder.rfind("\\\\", 0) == 0;
  if (!absolute) {
    if (why) *why = std::string("%") + name + "% names no absolute folder";
    return {};
  }
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder + kProgramFolder;
}

}  // namespace

std::string UserConfigFolder(std::string* why) { return KnownFolder(L"APPDATA", "APPDATA", why); }
std::string UserDataFolder(std::string* why) { return KnownFolder(L"APPDATA", "APPDATA", why); }
std::string UserStateFolder(std::string* why) { return KnownFolder(L"LOCALAPPDATA", "LOCALAPPDATA", why); }

std::vector<std::string> SharedDataFolders() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD units = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (units == 0) return {};
    if (units < path.size()) {
      path.resize(units);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::string program = Utf8(path);
  return {program.substr(0, program.find_last_of("/\\") + 1)};
}

// Empty when %ProgramData% names no absolute folder.
std::string SystemConfigFolder() { return KnownFolder(L"ProgramData", "ProgramData", nullptr); }
std::string SystemStateFolder() {
  const std::string folder = SystemConfigFolder();
  return folder.empty() ? folder : folder + "state\\";
}

}  // namespace rdrconf::platform
