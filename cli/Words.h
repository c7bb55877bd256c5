#pragma once

#include <string>
#include <vector>

namespace rdrconf::cli {

// "a, b, c" for Joined({"a", "b", "c"}, ", ").
inline std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

}  // namespace rdrconf::cli
