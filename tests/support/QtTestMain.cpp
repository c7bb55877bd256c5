// main() for test programs that need a QApplication (windows, fonts,
// events). Link the target rdrconf_test_windows instead of writing one.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // CTest lists the tests without the tests' environment, in the caller's
  // own (a desktop session's display and bus): listing needs no
  // application, so it touches neither.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // The tests never need a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
