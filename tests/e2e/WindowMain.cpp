// main() of the settings-window tests over the emulated reader: a
// QApplication (offscreen unless told otherwise) and, as for the link
// tests, exit code 77 when not running under umockdev-wrapper.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "emulator/EmulatedHidBus.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // CTest lists the tests without the tests' environment: listing needs no
  // application, and so touches no display and no bus.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (!rdrconf::emulated::EmulatedHidBus().IsActive()) {
    std::fprintf(stderr, "%s: not running under umockdev-wrapper; skipped\n", argv[0]);
    return 77;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
