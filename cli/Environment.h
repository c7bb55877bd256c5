#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reader/CardScan.h"
#include "reader/ReaderMonitor.h"

// What the command line learns from the system besides the HID host: where
// the record is kept, where udev rules live, the /proc tree, who runs the
// program and what the file system says about a device node. Tests put
// folders and facts of their own in its place.
#ifdef _WIN32
// Windows has no numeric user and group ids; the types only keep the facts
// below the same shape there, where doctor asks for none of them (it has
// no device nodes and no groups to check).
using uid_t = unsigned;
using gid_t = unsigned;
#endif

namespace rdrconf::cli {

// Who runs the program.
struct UserIdentity {
  uid_t uid = 0;
  std::string name;
  std::vector<gid_t> groups;         // of this process: the effective group and the supplementary ones
  std::vector<gid_t> accountGroups;  // the account's groups now; one missing above takes a new login
};

// An entry of a node's POSIX access list that stat(2) cannot show: a named
// user or group, the owning group's own entry (with an access list, the
// mode's group bits show the mask instead), or the mask.
struct AclEntry {
  enum class Kind { kUser, kGroup, kOwningGroup, kMask };
  Kind kind = Kind::kUser;
  unsigned id = 0;     // the user or group id (kUser and kGroup only)
  unsigned perms = 0;  // 4 read, 2 write, 1 execute
};

// A device node as stat(2) and its access list show it: nothing is opened.
struct NodeFacts {
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;  // type and permission bits
  dev_t rdev = 0;   // for a character device, the device it stands for
  dev_t dev = 0;
  ino_t ino = 0;
  std::vector<AclEntry> acl;  // empty when the node has no access list beyond its mode
};

// Reads the facts of `path`; std::nullopt with `error` when it cannot be
// examined.
std::optional<NodeFacts> InspectNode(const std::string& path, std::string* error = nullptr);

// The named entries and the mask of an access list in the form the kernel
// gives it (the extended attribute system.posix_acl_access); empty for
// anything that is not such a list.
std::vector<AclEntry> ParseAcl(const std::string& bytes);

// The user of this process, from the system's databases.
UserIdentity ThisUser();

// The name of group `gid` or user `uid` from the system's databases, else
// the number.
std::string SystemGroupName(gid_t gid);
std::string SystemUserName(uid_t uid);

struct CliEnvironment {
  // The settings record (readers.json); empty: none is kept.
  std::string recordPath;
  // Where udev looks for rules, in its order.
  std::vector<std::string> udevRuleFolders;
  std::string procRoot = "/proc";
  // Who runs the program, asked only by doctor: the group lookups can
  // load name-service modules, a cost every other command would pay for
  // nothing.
  std::function<UserIdentity()> user = ThisUser;
  std::function<std::optional<NodeFacts>(const std::string& path, std::string* error)> inspectNode =
      InspectNode;
  std::function<std::string(gid_t)> groupName = SystemGroupName;
  std::function<std::string(uid_t)> userName = SystemUserName;
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

// The folders udev reads rules from, in the order it reads them.
std::vector<std::string> SystemUdevRuleFolders();

}  // namespace rdrconf::cli
