#include "platform/Account.h"

#include <windows.h>

#include "platform/Text.h"

// Windows has no numeric user and group ids and no device nodes: the user
// is known by name alone.
namespace rdrconf::platform {

bool NodeFacts::IsCharacterDevice() const { return false; }

UserIdentity ThisUser() {
  UserIdentity user;
  wchar_t name[257] = {};
  DWORD length = 257;
  if (GetUserNameW(name, &length) && length > 1) user.name = Utf8(std::wstring_view(name, length - 1));
  return user;
}

std::string GroupName(GroupId gid) { return std::to_string(gid); }

std::optional<NodeFacts> InspectNode(const std::string&, std::string* error) {
  if (error) *error = "Windows has no device nodes to examine";
  return std::nullopt;
}

}  // namespace rdrconf::platform
