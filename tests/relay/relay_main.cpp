// GoogleTest's main for the relay's tests: one QApplication on the X
// server the wrapper (xvfb-run-test) gives each run, so the windows the
// tests open are real top-level windows other programs can see.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests (at build time, in every preset) needs no X server.
  if (::testing::GTEST_FLAG(list_tests)) {
    return RUN_ALL_TESTS();
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
