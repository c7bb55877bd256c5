#include "cli/Environment.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "reader/SettingsRecord.h"

namespace rdrconf::cli {
namespace {

// The layout of system.posix_acl_access: a 4-byte version, then 8-byte
// entries of a 2-byte tag, 2-byte permissions and a 4-byte id, all little
// endian as the kernel stores them on this platform.
constexpr std::uint32_t kAclVersion = 2;
constexpr std::uint16_t kAclUser = 0x02;
constexpr std::uint16_t kAclOwningGroup = 0x04;
constexpr std::uint16_t kAclGroup = 0x08;
constexpr std::uint16_t kAclMask = 0x10;
constexpr std::size_t kAclHeaderSize = 4;
constexpr std::size_t kAclEntrySize = 8;

std::uint32_t LittleEndian(const std::string& bytes, std::size_t at, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

#ifndef _WIN32
std::string AccessListOf(const std::string& path) {
  std::string bytes(1024, '\0');
  const ssize_t got = getxattr(path.c_str(), "system.posix_acl_access", bytes.data(), bytes.size());
  if (got <= 0) return {};
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}
#endif

}  // namespace

#ifdef _WIN32
UserIdentity ThisUser() {
  UserIdentity user;
  wchar_t name[257] = {};
  DWORD length = 257;
  if (GetUserNameW(name, &length) && length > 1) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length - 1), nullptr, 0, nullptr, nullptr);
    user.name.resize(static_cast<std::size_t>(bytes > 0 ? bytes : 0));
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length - 1), user.name.data(), bytes,
                                       nullptr, nullptr);
  }
  return user;
}

std::string SystemGroupName(gid_t gid) { return std::to_string(gid); }

std::string SystemUserName(uid_t uid) { return std::to_string(uid); }
#else
UserIdentity ThisUser() {
  UserIdentity user;
  user.uid = getuid();
  const gid_t primary = getegid();
  user.groups.push_back(primary);
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
    user.accountGroups = account;
  } else {
    user.name = std::to_string(user.uid);
  }
  return user;
}

std::string SystemGroupName(gid_t gid) {
  std::string buffer(4096, '\0');
  group entry{};
  group* found = nullptr;
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(gid);
}

std::string SystemUserName(uid_t uid) {
  std::string buffer(4096, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

#endif

std::vector<AclEntry> ParseAcl(const std::string& bytes) {
  std::vector<AclEntry> entries;
  if (bytes.size() < kAclHeaderSize || (bytes.size() - kAclHeaderSize) % kAclEntrySize != 0 ||
      LittleEndian(bytes, 0, 4) != kAclVersion) {
    return entries;
  }
  for (std::size_t at = kAclHeaderSize; at < bytes.size(); at += kAclEntrySize) {
    const auto tag = static_cast<std::uint16_t>(LittleEndian(bytes, at, 2));
    const unsigned perms = LittleEndian(bytes, at + 2, 2) & 7u;
    const unsigned id = LittleEndian(bytes, at + 4, 4);
    if (tag == kAclUser) entries.push_back({AclEntry::Kind::kUser, id, perms});
    if (tag == kAclGroup) entries.push_back({AclEntry::Kind::kGroup, id, perms});
    if (tag == kAclOwningGroup) entries.push_back({AclEntry::Kind::kOwningGroup, 0, perms});
    if (tag == kAclMask) entries.push_back({AclEntry::Kind::kMask, 0, perms});
  }
  return entries;
}

#ifdef _WIN32
std::optional<NodeFacts> InspectNode(const std::string&, std::string* error) {
  if (error) *error = "Windows has no device nodes to examine";
  return std::nullopt;
}

std::vector<std::string> SystemUdevRuleFolders() { return {}; }
#else
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

std::vector<std::string> SystemUdevRuleFolders() {
  return {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d",
          "/usr/local/lib/udev/rules.d"};
}
#endif

CliEnvironment CliEnvironment::OfThisProcess() {
  CliEnvironment environment;
  environment.recordPath = SettingsRecord::DefaultPath();
  environment.udevRuleFolders = SystemUdevRuleFolders();
  return environment;
}

}  // namespace rdrconf::cli
