#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

// For the benchmark programs over the emulated bus, which must run under
// umockdev-wrapper: scripts/bench starts every benchmark program directly.
namespace rdrconf::bench {

// Starts the program again through umockdev-wrapper, once; returns only
// when that cannot be done, with the exit status to end with.
inline int RestartUnderWrapper(char** argv) {
  constexpr const char* kMarker = "RDRCONF_BENCH_UNDER_WRAPPER";
  if (std::getenv(kMarker) == nullptr) {
    setenv(kMarker, "1", 1);
    std::vector<char*> arguments{const_cast<char*>("umockdev-wrapper")};
    for (char** argument = argv; *argument != nullptr; ++argument) arguments.push_back(*argument);
    arguments.push_back(nullptr);
    execvp(arguments[0], arguments.data());
  }
  std::fprintf(stderr, "%s: needs umockdev-wrapper (package umockdev)\n", argv[0]);
  return 1;
}

}  // namespace rdrconf::bench
