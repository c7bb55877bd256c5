#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Account.h"
#include "reader/CardScan.h"
#include "reader/Hotplug.h"

// What the command line learns from the system besides the HID host: where
// the record is kept, where udev rules live, the /proc tree, who runs the
// program and what the file system says about a device node. Tests put
// folders and facts of their own in its place.
namespace rdrconf::cli {

struct CliEnvironment {
  // The settings record (readers.json); empty: none is kept, and
  // `recordMissing` says why.
  std::string recordPath;
  std::string recordMissing;
  // The machine's own profile and record, those of the system unit that
  // gives each reader plugged in the profile (apply --system); the record
  // is readable by every user. Empty: the system has no such place.
  std::string systemProfilePath;
  std::string systemRecordPath;
  // Where udev looks for rules, in its order (none on Windows).
  std::vector<std::string> udevRuleFolders;
  std::string procRoot = "/proc";
  // Who runs the program, asked only by doctor: the group lookups can
  // load name-service modules, a cost every other command would pay for
  // nothing.
  std::function<platform::UserIdentity()> user = platform::ThisUser;
  std::function<std::optional<platform::NodeFacts>(const std::string& path, std::string* error)> inspectNode =
      platform::InspectNode;
  std::function<std::string(platform::GroupId)> groupName = platform::GroupName;
  std::function<std::chrono::system_clock::time_point()> now = std::chrono::system_clock::now;
  // The reader's keyboard side (for test) and the news of readers coming
  // and going (for watch), made only by the commands that need them; null
  // where there are none.
  std::function<KeyboardSource*()> keyboard = [] { return static_cast<KeyboardSource*>(nullptr); };
  std::function<HotplugSource*()> hotplug = [] { return static_cast<HotplugSource*>(nullptr); };
  // Readable once the program is asked to stop (SIGINT, SIGTERM): the
  // commands that wait end cleanly then. -1: none.
  int stopDescriptor = -1;

  // The real places and facts of this process.
  static CliEnvironment OfThisProcess();
};

}  // namespace rdrconf::cli
