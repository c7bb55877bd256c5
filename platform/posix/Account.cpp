#include "platform/Account.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rdrconf::platform {
namespace {

std::string AccessListOf(const std::string& path) {
  std::string bytes(1024, '\0');
  const ssize_t got = getxattr(path.c_str(), "system.posix_acl_access", bytes.data(), bytes.size());
  if (got <= 0) return {};
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

}  // namespace

bool NodeFacts::IsCharacterDevice() const { return S_ISCHR(mode); }

UserIdentity ThisUser() {
  UserIdentity user;
  user.uid = getuid();
  user.groups.push_back(getegid());
  const int count = getgroups(0, nullptr);
  if (count > 0) {
    std::vector<gid_t> supplementary(static_cast<std::size_t>(count));
    const int got = getgroups(count, supplementary.data());
    if (got > 0) user.groups.insert(user.groups.end(), supplementary.begin(), supplementary.begin() + got);
  }
  std::string buffer(4096, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(user.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    user.name = found->pw_name;
    int groups = 64;
    std::vector<gid_t> account(static_cast<std::size_t>(groups));
    if (getgrouplist(found->pw_name, found->pw_gid, account.data(), &groups) < 0 && groups > 0) {
      account.resize(static_cast<std::size_t>(groups));
      if (getgrouplist(found->pw_name, found->pw_gid, account.data(), &groups) < 0) groups = 0;
    }
    account.resize(static_cast<std::size_t>(groups));
    user.accountGroups.assign(account.begin(), account.end());
  } else {
    user.name = std::to_string(user.uid);
  }
  return user;
}

std::string GroupName(GroupId gid) {
  std::string buffer(4096, '\0');
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(gid);
}

std::optional<NodeFacts> InspectNode(const std::string& path, std::string* error) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (error) *error = std::strerror(errno);
    return std::nullopt;
  }
  NodeFacts facts;
  facts.owner = info.st_uid;
  facts.group = info.st_gid;
  facts.mode = info.st_mode;
  facts.rdev = info.st_rdev;
  facts.dev = info.st_dev;
  facts.ino = info.st_ino;
  facts.acl = ParseAcl(AccessListOf(path));
  return facts;
}

}  // namespace rdrconf::platform
