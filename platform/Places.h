#pragma once

#include <string>
#include <vector>

// Where this program's files belong for the user who runs it. Every folder
// ends in the system's separator and already names the program's own
// folder ("rdrconf"); an empty folder means the system gives none, and
// `why` (when asked) then says what is missing.
//
//   folder   on Linux (XDG)                 on Windows
//   config   $XDG_CONFIG_HOME/rdrconf/      rdrconf in %APPDATA%
//   data     $XDG_DATA_HOME/rdrconf/        rdrconf in %APPDATA%
//   state    $XDG_STATE_HOME/rdrconf/       rdrconf in %LOCALAPPDATA% (not roaming: it is about this computer's readers)
//   shared   $XDG_DATA_DIRS/rdrconf/ each   the running program's own folder
//
// and for the machine as a whole, whoever runs the program (the folders a
// system service reads its configuration from and keeps its state in):
//
//   system config  $CONFIGURATION_DIRECTORY, else /etc/rdrconf/     rdrconf in %ProgramData%
//   system state   $STATE_DIRECTORY, else /var/lib/rdrconf/         rdrconf\state in %ProgramData%
//
// (systemd sets those two variables for a unit with ConfigurationDirectory=
// and StateDirectory=; the first of several folders counts.)
//
// Unset or relative XDG variables take their usual defaults under $HOME
// (~/.config, ~/.local/share, ~/.local/state; /usr/local/share:/usr/share).
namespace rdrconf::platform {

std::string UserConfigFolder(std::string* why = nullptr);
std::string UserDataFolder(std::string* why = nullptr);
std::string UserStateFolder(std::string* why = nullptr);
std::vector<std::string> SharedDataFolders();
std::string SystemConfigFolder();
std::string SystemStateFolder();

}  // namespace rdrconf::platform
