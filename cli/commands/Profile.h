#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reader/HidHost.h"
#include "reader/ReaderSettings.h"

// The profile that export prints, and that apply and watch --apply give to
// readers: {"rdrconf_profile": 1, "settings": {...}, "source": {...}},
// optionally with settings of their own for particular readers,
// "readers": [{"serial": "A1B2", "settings": {...}},
//             {"usb_port": "1-1.2", "settings": {...}}].
namespace rdrconf::cli {

inline constexpr int kProfileVersion = 1;

// What chose a reader's settings, from the most specific.
enum class ProfileMatch { kSerial, kUsbPort, kDefault };
// "serial", "usb_port", "default".
const char* ProfileMatchName(ProfileMatch match);

struct Profile {
  // The settings of one particular reader, named by exactly one of its
  // serial number and its USB port.
  struct ForReader {
    std::string serial;
    std::string usbPort;
    ReaderSettings settings;
  };

  ReaderSettings settings;  // for every reader that no entry names
  std::vector<ForReader> readers;

  struct Choice {
    ReaderSettings settings;
    ProfileMatch match;
  };
  // The settings `reader` gets: those of the entry with its serial number,
  // else of the entry with its USB port, else the profile's own.
  Choice For(const HidInterfaceInfo& reader) const;
};

// The profile file at `path`; std::nullopt, and `why` says what is wrong,
// when it holds none. A profile is checked whole, since a key misspelt would
// otherwise be a setting silently left at its default: version 1 exactly, no
// key that a profile does not have, settings complete and in range, no
// reader named twice. `why` names the file and, for a fault in its text, the
// line and column: "/etc/rdrconf/profile.json:4:13: \"mode\" must be ...".
std::optional<Profile> ReadProfile(const std::string& path, std::string& why);

}  // namespace rdrconf::cli
