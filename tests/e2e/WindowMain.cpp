// main() of the settings-window tests over the emulated reader: a
// QApplication (offscreen unless told otherwise) and, as for the link
// tests, exit code 77 when not running under umockdev-wrapper.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "emulator/EmulatedHidBus.h"

int main(int argc, char** argv) {
  // Test discovery runs without CTest's environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (!::testing::GTEST_FLAG(list_tests) && !rdrconf::emulated::EmulatedHidBus().IsActive()) {
    std::fprintf(stderr, "%s: not running under umockdev-wrapper; skipped\n", argv[0]);
    return 77;
  }
  return RUN_ALL_TESTS();
}
