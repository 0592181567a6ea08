// GoogleTest's main for the GUI tests: one QApplication on the offscreen
// platform, so the tests run without a display. It has four monitors side
// by side, so a test puts a window on the monitor it needs: 1920 x 1080
// (primary), 1280 x 1024, 1280 x 800 and 1024 x 768.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryFile>

int main(int argc, char** argv) {
  QTemporaryFile screens;
  if (!screens.open()) {
    return 1;
  }
  screens.write(R"({"screens": [
    {"name": "A", "x": 0, "y": 0, "width": 1920, "height": 1080},
    {"name": "B", "x": 1920, "y": 0, "width": 1280, "height": 1024},
    {"name": "C", "x": 3200, "y": 0, "width": 1280, "height": 800},
    {"name": "D", "x": 4480, "y": 0, "width": 1024, "height": 768}]})");
  screens.flush();
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
