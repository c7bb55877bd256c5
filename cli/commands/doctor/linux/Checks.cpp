// doctor on Linux: the udev rule, this user's access to each reader's node
// (its mode, group and access list, and the user's groups now and at this
// login), and the processes that hold a reader's node, from /proc.
#include "cli/commands/doctor/linux/Checks.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "cli/ExitCode.h"
#include "cli/Output.h"
#include "cli/Words.h"
#include "platform/Files.h"

namespace rdrconf::cli {
namespace {

constexpr char kRuleName[] = "70-rdrconf.rules";
constexpr unsigned kReadWrite = 6;

bool Contains(const std::vector<platform::GroupId>& groups, platform::GroupId gid) {
  return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// --- The udev rule ------------------------------------------------------------

Check UdevRuleCheck(const CliEnvironment& environment) {
  Check check;
  check.name = "udev_rule";
  for (const std::string& folder : environment.udevRuleFolders) {
    const std::string path = folder + "/" + kRuleName;
    if (platform::IsRegularFile(path)) {
      check.detail = path;
      return check;
    }
  }
  check.ok = false;
  check.code = kExitNotSetUp;
  check.detail = std::string(kRuleName) + " is in none of " + Joined(environment.udevRuleFolders, ", ");
  check.fix = std::string("Install the rule that ships with rdrconf (packaging/") + kRuleName +
              " in its sources):\n  sudo install -m 644 " + kRuleName +
              " /etc/udev/rules.d/\n  sudo udevadm control --reload-rules && sudo udevadm trigger "
              "--subsystem-match=hidraw --action=change";
  return check;
}

// --- Access -----------------------------------------------------------------------

std::string PermsInWords(unsigned perms) {
  if ((perms & kReadWrite) == kReadWrite) return "read and write";
  if (perms & 4) return "only read";
  if (perms & 2) return "only write";
  return "not use";
}

}  // namespace

std::string ExplainAccess(const platform::NodeFacts& node, const platform::UserIdentity& user,
                          const std::function<std::string(platform::GroupId)>& groupName, bool mayOpen,
                          std::string& fix) {
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(node.mode & 07777));
  std::vector<std::string> facts{"group " + groupName(node.group) + ", mode " + mode};
  if (node.owner == user.uid) facts.insert(facts.begin(), "you own it");

  // With an access list, the mode's group bits are its mask, and the mask
  // limits every named entry and the owning group.
  unsigned mask = 7;
  unsigned owningGroup = (node.mode >> 3) & 7;
  for (const platform::AclEntry& entry : node.acl) {
    if (entry.kind == platform::AclEntry::Kind::kMask) mask = entry.perms;
    if (entry.kind == platform::AclEntry::Kind::kOwningGroup) owningGroup = entry.perms;
  }
  std::vector<std::pair<platform::GroupId, unsigned>> groups{{node.group, owningGroup & mask}};
  bool listed = false;
  for (const platform::AclEntry& entry : node.acl) {
    if (entry.kind == platform::AclEntry::Kind::kGroup) groups.emplace_back(entry.id, entry.perms & mask);
    if (entry.kind == platform::AclEntry::Kind::kUser && entry.id == user.uid) {
      listed = true;
      facts.push_back("its access list lets you " + PermsInWords(entry.perms & mask) + " it" +
                      ((entry.perms & mask & kReadWrite) == kReadWrite
                           ? " (the udev rule's uaccess tag gives this to the user at the seat)"
                           : ""));
    }
  }
  if (!node.acl.empty() && !listed) facts.push_back("its access list has no entry for you");

  std::string addedSinceLogin;
  std::string notMember;
  for (const auto& [gid, perms] : groups) {
    if ((perms & kReadWrite) != kReadWrite) continue;
    const std::string name = groupName(gid);
    std::string fact = "group " + name + " may read and write it, and you are ";
    if (Contains(user.groups, gid)) {
      fact += "a member";
    } else if (Contains(user.accountGroups, gid)) {
      fact += "a member only since after this login started";
      if (addedSinceLogin.empty()) addedSinceLogin = name;
    } else {
      fact += "not a member";
      if (notMember.empty()) notMember = name;
    }
    facts.push_back(fact);
  }
  if ((node.mode & kReadWrite) == kReadWrite) {
    facts.push_back("every user may read and write it, so any program can change the reader's settings");
  }
  if (user.uid == 0) facts.push_back("you are root");

  fix.clear();
  if (!mayOpen) {
    if (!addedSinceLogin.empty()) {
      fix = "Log out and in again: you were added to group " + addedSinceLogin + " after this login started.";
    } else if (!notMember.empty()) {
      fix = "An administrator can add you to group " + notMember + ": sudo adduser " + user.name + " " +
            notMember + "; then log in again.";
    } else {
      // Over SSH or in a service there is no seat, so uaccess gives nobody
      // access; the rule's group is the way in there.
      fix = "Install the udev rule (see the udev_rule check), then unplug the reader and plug it in again:\n"
            "it gives the user logged in at the seat and the members of group plugdev access. Over SSH or "
            "without a seat, an administrator adds you to the group: sudo adduser " +
            user.name + " plugdev; then log in again.";
    }
  }
  return std::string(mayOpen ? "you may open it" : "you may not open it") + ": " + Joined(facts, "; ");
}

// --- Processes that hold the node ---------------------------------------------------

namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

bool IsNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

bool IsTheNode(const platform::NodeFacts& node, const struct stat& info) {
  if (node.IsCharacterDevice()) return S_ISCHR(info.st_mode) && info.st_rdev == node.rdev;
  return info.st_dev == node.dev && info.st_ino == node.ino;
}

// The name a process gave itself, whole: it may hold any byte, a line
// break too, and only the one that ends the file is not part of it.
std::string ProcessName(const std::string& folder) {
  std::ifstream comm(folder + "/comm", std::ios::binary);
  std::string name((std::istreambuf_iterator<char>(comm)), std::istreambuf_iterator<char>());
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return name.empty() ? "?" : name;
}

}  // namespace

std::vector<Holder> FindHolders(const std::string& procRoot, const platform::NodeFacts& node, int& unreadable) {
  unreadable = 0;
  std::vector<Holder> holders;
  const Directory processes(opendir(procRoot.c_str()));
  if (!processes) return holders;
  while (const dirent* process = readdir(processes.get())) {
    if (!IsNumber(process->d_name)) continue;
    const std::string folder = procRoot + "/" + process->d_name;
    const Directory descriptors(opendir((folder + "/fd").c_str()));
    if (!descriptors) {
      // A process that ended meanwhile is simply gone; one of another user
      // cannot be looked into.
      if (errno == EACCES || errno == EPERM) ++unreadable;
      continue;
    }
    while (const dirent* descriptor = readdir(descriptors.get())) {
      struct stat info {};
      if (!IsNumber(descriptor->d_name) ||
          stat((folder + "/fd/" + descriptor->d_name).c_str(), &info) != 0 || !IsTheNode(node, info)) {
        continue;
      }
      holders.push_back({std::stol(process->d_name), ProcessName(folder)});
      break;
    }
  }
  std::sort(holders.begin(), holders.end(), [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
  return holders;
}

namespace {

void AddReaderChecks(const ReaderIdentity& reader, const CliEnvironment& environment,
                     const platform::UserIdentity& user,
                     std::vector<Check>& checks) {
  const std::string& path = reader.hid.path;
  std::string why;
  const std::optional<platform::NodeFacts> node = environment.inspectNode(path, &why);

  Check access;
  access.name = "access";
  access.reader = path;
  access.ok = reader.mayOpen;
  access.code = kExitDenied;
  if (node) {
    access.detail = ExplainAccess(*node, user, environment.groupName, reader.mayOpen, access.fix);
  } else {
    access.detail = std::string(reader.mayOpen ? "you may open it" : "you may not open it") +
                    " (its node cannot be examined: " + why + ")";
    if (!reader.mayOpen) access.fix = "Unplug the reader, plug it in again and run rdrconf-cli doctor once more.";
  }
  if (access.ok) access.code = 0;
  checks.push_back(access);

  Check held;
  held.name = "not_held";
  held.reader = path;
  if (!node) {
    held.detail = "not checked: its node cannot be examined: " + why;
    checks.push_back(held);
    return;
  }
  int unreadable = 0;
  held.holders = FindHolders(environment.procRoot, *node, unreadable);
  if (held.holders.empty()) {
    held.detail = "no other process has it open";
    if (unreadable > 0) {
      held.detail += " (the open files of " + std::to_string(unreadable) +
                     " processes of other users can be seen only by root)";
    }
  } else {
    std::vector<std::string> names;
    for (const Holder& holder : held.holders) {
      names.push_back(Printable(holder.name) + " (PID " + std::to_string(holder.pid) + ")");
    }
    held.ok = false;
    held.code = kExitBusy;
    held.detail = "held by " + Joined(names, ", ");
    held.fix = "Close " + Joined(names, " and ") +
               ", or wait until it is done: one program at a time may talk to the reader.";
  }
  checks.push_back(held);
}

}  // namespace

const char kDoctorHelp[] =
    "Check the udev rule, the readers, your access to them, other programs holding them and the language "
    "files; say how to fix what fails";

std::vector<Check> RunDoctor(const CardReader& reader, const CliEnvironment& environment) {
  std::vector<Check> checks{UdevRuleCheck(environment)};
  HidError error;
  const std::vector<ReaderIdentity> readers = reader.ListReaders(&error);
  checks.push_back(ReadersCheck(readers, error, "Check that the hidraw driver is loaded (ls /dev/hidraw*).",
                                "Plug the reader in. If lsusb -d 1d57:ac08 lists it but it is still not seen, "
                                "its HID interface has no hidraw node: see dmesg."));

  const platform::UserIdentity user = readers.empty() ? platform::UserIdentity{} : environment.user();
  for (const ReaderIdentity& r : readers) AddReaderChecks(r, environment, user, checks);
  checks.push_back(LanguageFilesCheck());
  return checks;
}

}  // namespace rdrconf::cli
