// Test main: a QCoreApplication, so nested event loops, timers and socket
// notifiers work; for window tests (TARNEX_TEST_GUI) a QApplication on the
// offscreen platform.
#include <gtest/gtest.h>

#include <cstdlib>
#ifdef TARNEX_TEST_GUI
#include <QApplication>
using Application = QApplication;
#else
#include <QCoreApplication>
using Application = QCoreApplication;
#endif

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
