// The relay's dialog in this process, where the user can reach it.
#include "relay/relay_dialog.h"

#include <gtest/gtest.h>

#include <QTest>

#include "support/gui_helpers.h"

namespace rd420::relay::test {
namespace {

// Catches: Escape or a close request ending the relay while it waits,
// after the program handing over has let go of the camera: nothing would
// start and nobody would have the camera.
TEST(RelayDlg, EscapeAndCloseDoNotEndTheWait) {
  RelayDlg::Options options;
  options.mode = &kRelayModes[0];
  options.programDirectory = QStringLiteral("/nonexistent");
  options.handingOverRuns = [] { return true; };
  RelayDlg dialog(std::move(options));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.close());
  QTest::qWait(300);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 0);
}

}  // namespace
}  // namespace rd420::relay::test
