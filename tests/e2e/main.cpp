#include <gtest/gtest.h>

#include <cstdio>

#include "emulator/EmulatedHidBus.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!::testing::GTEST_FLAG(list_tests) && !rdrconf::emulated::EmulatedHidBus().IsActive()) {
    std::fprintf(stderr, "%s: not running under umockdev-wrapper; skipped\n", argv[0]);
    return 77;
  }
  return RUN_ALL_TESTS();
}
