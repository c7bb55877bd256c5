#pragma once

#include <optional>
#include <string>

#include "reader/ReaderSettings.h"

// The profile that export prints and watch --apply reads:
// {"rdrconf_profile": 1, "settings": {...}, "source": {...}}.
namespace rdrconf::cli {

inline constexpr int kProfileVersion = 1;

// The settings of the profile file at `path`; std::nullopt, and `why` says
// what is wrong (where in the file, when the JSON itself is broken), when it
// is none. A profile is checked whole: version 1 exactly, no key that a
// profile does not have, and settings complete and in range.
std::optional<ReaderSettings> ReadProfile(const std::string& path, std::string& why);

}  // namespace rdrconf::cli
