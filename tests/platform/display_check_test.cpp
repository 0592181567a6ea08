// The viewer and the capture program started where no X server answers,
// as a program started too early in a session, or from a terminal with a
// stale DISPLAY, is.
#include <gtest/gtest.h>

#include <QProcess>

namespace rd420::test {
namespace {

struct NoDisplay {
  const char* name;
  const char* program;
  const char* display;  // unset when null
  const char* said;
};

void PrintTo(const NoDisplay& row, std::ostream* out) {
  *out << row.name;
}

class NoDisplayTest : public ::testing::TestWithParam<NoDisplay> {};

// Catches: the program killed by Qt's abort (SIGABRT, a core dump, no word
// of why) instead of ending with its own message and an exit code.
TEST_P(NoDisplayTest, EndsWithAMessageThatNamesTheDisplay) {
  const NoDisplay& row = GetParam();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    environment.remove(QString::fromLatin1(name));
  }
  if (row.display != nullptr) {
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(row.display));
  }
  // Were it to start, it must not find a camera of ours.
  environment.insert(QStringLiteral("RD420_DEVICE_DIR"), QStringLiteral("/nonexistent"));
  QProcess program;
  program.setProcessEnvironment(environment);
  program.start(QString::fromUtf8(row.program), {});
  ASSERT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 1);
  EXPECT_EQ(program.readAllStandardError().toStdString(), std::string(row.said) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, NoDisplayTest,
    ::testing::Values(
        NoDisplay{"ViewerDeadDisplay", VIEWER_PATH, ":4242",
                  "TORVELA_VADIzivid: the X server of display \":4242\" does not answer"},
        NoDisplay{"CaptureNoDisplay", AVICAP_PATH, nullptr,
                  "TORVELA_AVICap: no display to show windows on (DISPLAY is not set)"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace rd420::test
