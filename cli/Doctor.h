#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "cli/Environment.h"
#include "reader/CardReader.h"

// The checks of "rdrconf-cli doctor": what stands between this user and a
// working reader, each with its fix. Nothing here opens a reader.
namespace rdrconf::cli {

struct Holder {
  pid_t pid = 0;
  std::string name;  // from /proc/PID/comm
};

struct Check {
  std::string name;    // "udev_rule", "readers", "access", "not_held", "language_files"
  std::string reader;  // the reader's path, for "access" and "not_held"
  bool ok = true;
  int code = 0;        // the exit status this check stands for when it fails
  std::string detail;  // what was found
  std::string fix;     // what to do; empty when the check passed
  std::vector<Holder> holders;  // "not_held": the processes that have the node open
};

// Every check, in order: the udev rule, readers visible, then for each
// reader access and whether another process holds it, and last the
// language files. On Windows: readers visible, whether another copy of
// rdrconf holds each, and the language files.
std::vector<Check> RunDoctor(const CardReader& reader, const CliEnvironment& environment);

#ifndef _WIN32
// The processes under `procRoot` with a descriptor open on the node that
// `node` describes. `unreadable` counts the processes whose descriptors
// could not be looked at (those of other users, for an ordinary user).
std::vector<Holder> FindHolders(const std::string& procRoot, const NodeFacts& node, int& unreadable);

// Why this user may or may not open a node with these facts, in words
// ("owner root, group plugdev, mode 0660; group plugdev may read and write
// it, and you are a member"); `fix` gets what to do when `mayOpen` is false.
std::string ExplainAccess(const NodeFacts& node, const UserIdentity& user,
                          const std::function<std::string(gid_t)>& groupName, bool mayOpen, std::string& fix);
#endif

}  // namespace rdrconf::cli
