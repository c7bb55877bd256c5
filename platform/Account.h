#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Who runs the program and what the system says of a device node, for
// explaining why a reader cannot be opened. Nothing here opens the node.
// Windows has neither numeric ids nor access bits on a HID interface: there
// the user has a name alone and no node can be examined.
namespace rdrconf::platform {

using UserId = std::uint32_t;
using GroupId = std::uint32_t;

struct UserIdentity {
  UserId uid = 0;
  std::string name;
  std::vector<GroupId> groups;         // of this process: the effective group and the supplementary ones
  std::vector<GroupId> accountGroups;  // the account's groups now; one missing above takes a new login
};

// An entry of a node's POSIX access list that stat(2) cannot show: a named
// user or group, the owning group's own entry (with an access list, the
// mode's group bits show the mask instead), or the mask.
struct AclEntry {
  enum class Kind { kUser, kGroup, kOwningGroup, kMask };
  Kind kind = Kind::kUser;
  std::uint32_t id = 0;     // the user or group id (kUser and kGroup only)
  std::uint32_t perms = 0;  // 4 read, 2 write, 1 execute
};

// A device node as stat(2) and its access list show it.
struct NodeFacts {
  UserId owner = 0;
  GroupId group = 0;
  std::uint32_t mode = 0;  // type and permission bits
  std::uint64_t rdev = 0;  // for a character device, the device it stands for
  std::uint64_t dev = 0;
  std::uint64_t ino = 0;
  std::vector<AclEntry> acl;  // empty when the node has no access list beyond its mode

  bool IsCharacterDevice() const;
};

// The user of this process, from the system's databases.
UserIdentity ThisUser();

// The name of group `gid` from the system's databases, else the number.
std::string GroupName(GroupId gid);

// The facts of `path`; std::nullopt with `error` when it cannot be examined.
std::optional<NodeFacts> InspectNode(const std::string& path, std::string* error = nullptr);

// The named entries and the mask of an access list in the form the kernel
// gives it (the extended attribute system.posix_acl_access); empty for
// anything that is not such a list.
std::vector<AclEntry> ParseAcl(const std::string& bytes);

}  // namespace rdrconf::platform
