// Runs the window tests inside one QApplication. CTest sets QT_QPA_PLATFORM (offscreen, with a
// configuration file for the DPI tests); a run without it, such as the test listing at build
// time, uses the offscreen platform too.

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
