// main() for test programs that need a QApplication (windows, fonts,
// events). Link the target rdrconf_qt_test_main instead of writing one.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // Tests never need a display; test discovery runs without CTest's
  // environment, so say it here too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
