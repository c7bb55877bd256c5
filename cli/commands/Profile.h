#pragma once

#include <optional>
#include <string>

#include "reader/ReaderSettings.h"

// The profile that export prints and watch --apply reads:
// {"rdrconf_profile": 1, "settings": {...}, "source": {...}}.
namespace rdrconf::cli {

inline constexpr int kProfileVersion = 1;

// The settings of the profile file at `path`; std::nullopt, and `why` says
// what is wrong, when it is none.
std::optional<ReaderSettings> ReadProfile(const std::string& path, std::string& why);

}  // namespace rdrconf::cli
