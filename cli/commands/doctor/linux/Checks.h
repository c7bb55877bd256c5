#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/commands/doctor/Doctor.h"
#include "platform/Account.h"

// The pieces of Linux's checks that tests look at one by one.
namespace rdrconf::cli {

// The processes under `procRoot` with a descriptor open on the node that
// `node` describes. `unreadable` counts the processes whose descriptors
// could not be looked at (those of other users, for an ordinary user).
std::vector<Holder> FindHolders(const std::string& procRoot, const platform::NodeFacts& node, int& unreadable);

// Why this user may or may not open a node with these facts, in words
// ("owner root, group plugdev, mode 0660; group plugdev may read and write
// it, and you are a member"); `fix` gets what to do when `mayOpen` is false.
std::string ExplainAccess(const platform::NodeFacts& node, const platform::UserIdentity& user,
                          const std::function<std::string(platform::GroupId)>& groupName, bool mayOpen,
                          std::string& fix);

}  // namespace rdrconf::cli
