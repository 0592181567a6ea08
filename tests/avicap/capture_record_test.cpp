// Capture, Stop, the timers and the checks before a recording, with the
// recording consumer's writer recorded.
#include <QCheckBox>
#include <QRadioButton>

#include "avicap/capture_fixture.h"
#include "capture/avi_recording.h"
#include "support/avi_reader.h"

namespace rd420::avicap::test {
namespace {

constexpr char kCompleteText[] = "Capture processing complete !!  ";

// The controls that only a recording disables, Stop aside.
constexpr int kSettings[] = {kIdCapture,   kIdLocalTime, kIdShowCaption, kIdTimeLimit,
                             kIdVideoNone, kIdVideoXvid, kIdAudioPcm,    kIdAudioAdpcm,
                             kIdRotate,    kIdVadizivid};

class CaptureRecordTest : public CaptureTest {
 protected:
  void Check(int id) { qobject_cast<QAbstractButton*>(Control(id))->click(); }
  void Type(int id, const QString& text) { qobject_cast<QLineEdit*>(Control(id))->setText(text); }
  bool WaitForRecordedFrames(int count) {
    return WaitFor([&] { return log_.frames >= count; });
  }
};

// Catches: a recording started without the chosen file or the dialog's
// choices, no frames reaching the writer, the controls not locked while it
// runs, a FAT notice left out, or Stop not finishing the recording,
// announcing it and returning to the preview.
TEST_F(CaptureRecordTest, CaptureHandsFramesToTheWriterAndStopReturnsToPreview) {
  ASSERT_TRUE(StartCapture());
  fat_ = true;
  Check(kIdVideoNone);
  Check(kIdAudioPcm);
  Check(kIdLocalTime);
  Check(kIdShowCaption);
  Type(kIdCaption, QStringLiteral("Lecture 1"));
  Click(kIdCapture);

  ASSERT_TRUE(WaitForRecordedFrames(3));
  const capture::RecordingSettings settings = log_.Settings();
  EXPECT_EQ(settings.path, chosenFile_.toStdString());
  EXPECT_EQ(settings.videoQuality, 1);
  EXPECT_EQ(settings.audioQuality, 5);
  EXPECT_TRUE(settings.displayLocalTime);
  EXPECT_TRUE(settings.displayCaption);
  EXPECT_EQ(settings.caption, "Lecture 1");
  EXPECT_FALSE(settings.timeLimit);
  EXPECT_TRUE(Control(kIdStop)->isEnabled());
  for (const int id : kSettings) {
    EXPECT_FALSE(Control(id)->isEnabled()) << id;
  }
  EXPECT_FALSE(Control(kIdCaption)->isEnabled());
  EXPECT_TRUE(Control(kIdExit)->isEnabled());
  EXPECT_TRUE(Control(kIdRecordIndicator)->isVisibleTo(&Dialog()));
  EXPECT_FALSE(Control(kIdIdleIndicator)->isVisibleTo(&Dialog()));

  Click(kIdStop);
  EXPECT_EQ(log_.finishes, 1);
  EXPECT_EQ(log_.starts, 1);
  const std::vector<Message> shown = messages_.Messages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "Infomation");
  EXPECT_EQ(shown[0].text,
            "The File system of your PC is FAT32! The single file size limited by maximum 4 GB   "
            "\n(No Compression : Max. 6Min, High Quality : 12Hours, Low Quality : 40Hours)");
  EXPECT_EQ(shown[1].caption, "Capture Process");
  EXPECT_EQ(shown[1].text, kCompleteText);
  EXPECT_EQ(shown[1].icon, MessageIcon::kInformation);
  EXPECT_FALSE(Control(kIdStop)->isEnabled());
  for (const int id : kSettings) {
    EXPECT_TRUE(Control(id)->isEnabled()) << id;
  }
  EXPECT_TRUE(Control(kIdCaption)->isEnabled());
  EXPECT_FALSE(Control(kIdMinutes)->isEnabled()) << "the time limit is off";
  EXPECT_EQ(Text(kIdElapsed), "00:00:00");
  EXPECT_TRUE(WaitForPictures(2)) << "the preview goes on";
  EXPECT_EQ(log_.starts, 1);
}

// Catches: a cancelled save dialog leaving the preview stopped or
// starting a recording.
TEST_F(CaptureRecordTest, CancelledSaveDialogReturnsToPreview) {
  ASSERT_TRUE(StartCapture());
  chosenFile_.clear();
  Click(kIdCapture);
  EXPECT_TRUE(WaitForPictures(2));
  EXPECT_EQ(log_.starts, 0);
  EXPECT_TRUE(Control(kIdCapture)->isEnabled());
  EXPECT_TRUE(messages_.Messages().empty());
}

struct Refusal {
  const char* name;
  int captionLength;
  int64_t freeMinusEstimateKB;
  const char* caption;  // null: the recording starts
  const char* text;
  char32_t letter = U'가';
};

class CaptureRefusalTest : public CaptureRecordTest,
                           public ::testing::WithParamInterface<Refusal> {};

// Catches: a caption of 51 characters accepted or one of 50 refused (also
// when each takes two UTF-16 units), and a time-limited recording started on
// a disk with no more room than the estimate.
TEST_P(CaptureRefusalTest, RefusesOnlyPastTheLimit) {
  const Refusal& refusal = GetParam();
  ASSERT_TRUE(StartCapture());
  Check(kIdTimeLimit);
  freeKilobytes_ = Dialog().RequiredKB() + refusal.freeMinusEstimateKB;
  Check(kIdShowCaption);
  Type(kIdCaption, QString::fromUcs4(&refusal.letter, 1).repeated(refusal.captionLength));
  Click(kIdCapture);
  if (refusal.caption == nullptr) {
    EXPECT_TRUE(WaitFor([&] { return log_.starts == 1; }));
    EXPECT_TRUE(messages_.Messages().empty());
    return;
  }
  const std::vector<Message> shown = messages_.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, refusal.caption);
  EXPECT_EQ(shown[0].text, refusal.text);
  EXPECT_EQ(shown[0].icon, MessageIcon::kWarning);
  EXPECT_TRUE(WaitForPictures(2)) << "the preview goes on";
  EXPECT_EQ(log_.starts, 0);
  EXPECT_TRUE(Control(kIdCapture)->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CaptureRefusalTest,
    ::testing::Values(Refusal{"Caption50", 50, 1, nullptr, nullptr},
                      Refusal{"Caption51", 51, 1, "Error (AVI00001)",
                              "User Caption Must be written within 50 characters.   "},
                      Refusal{"Emoji50", 50, 1, nullptr, nullptr, U'😀'},
                      Refusal{"Emoji51", 51, 1, "Error (AVI00001)",
                              "User Caption Must be written within 50 characters.   ", U'😀'},
                      Refusal{"FreeEqualsEstimate", 10, 0, "Error (AVI00002)",
                              "Not enough Hard disk space! Check AVI file size to caputre   "}),
    [](const auto& param) { return std::string(param.param.name); });

// Catches: the elapsed time counted or formatted wrongly, or hours that do
// not start again after 24.
TEST_F(CaptureRecordTest, ElapsedTimeFollowsTheClockAndWrapsAfterADay) {
  ASSERT_TRUE(StartCapture());
  const int64_t start = now_;
  Click(kIdCapture);
  const std::pair<int64_t, const char*> readings[] = {
      {59, "00:00:59"},    {60, "00:01:00"},    {3599, "00:59:59"},
      {86399, "23:59:59"}, {86400, "00:00:00"}, {86400 + 3661, "01:01:01"}};
  for (const auto& [seconds, shown] : readings) {
    now_ = start + seconds;
    EXPECT_TRUE(WaitFor([&] { return Text(kIdElapsed) == shown; }, 3000))
        << seconds << " shows " << Text(kIdElapsed).toStdString();
  }
  Click(kIdStop);
}

// Catches: a time-limited recording that does not end by itself, or ends
// without finishing, announcing and returning to the preview.
TEST_F(CaptureRecordTest, TimeLimitStopsTheRecording) {
  minuteMs_ = 300;  // one "minute" of the test
  ASSERT_TRUE(StartCapture());
  Check(kIdTimeLimit);
  Type(kIdMinutes, QStringLiteral("1"));
  Click(kIdCapture);
  ASSERT_TRUE(WaitFor([&] { return log_.starts == 1; }));
  EXPECT_TRUE(log_.Settings().timeLimit);
  ASSERT_TRUE(WaitFor([&] { return log_.finishes == 1; }));
  const std::vector<Message> shown = messages_.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Capture Process");
  EXPECT_EQ(shown[0].text, kCompleteText);
  EXPECT_GT(log_.frames, 0);
  EXPECT_TRUE(Control(kIdCapture)->isEnabled());
  EXPECT_FALSE(Control(kIdStop)->isEnabled());
  EXPECT_TRUE(Control(kIdMinutes)->isEnabled());
  EXPECT_FALSE(Control(kIdRecordIndicator)->isVisibleTo(&Dialog()));
  EXPECT_TRUE(WaitForPictures(2));
  EXPECT_EQ(log_.starts, 1);
}

// Catches: a missing codec whose warning leaves the buttons showing it, or
// that changes the stored choice (the next recording must warn again), or
// a recording that Stop does not complete into a file a player opens.
TEST_F(CaptureRecordTest, MissingCodecShowsNoCompressionAndStopLeavesAPlayableFile) {
  capture::AviRecordingWriter writer([](std::string_view encoder) { return encoder != "mpeg4"; });
  writer_ = &writer;
  ASSERT_TRUE(StartCapture());
  const auto checked = [&](int id) {
    return qobject_cast<QRadioButton*>(Control(id))->isChecked();
  };
  ASSERT_TRUE(checked(kIdVideoXvid));
  for (int recording = 0; recording < 2; ++recording) {
    Click(kIdCapture);
    ASSERT_TRUE(WaitFor([&] { return checked(kIdVideoNone); }));
    EXPECT_FALSE(checked(kIdVideoXvid));
    EXPECT_FALSE(checked(kIdVideoLowQuality));
    ASSERT_TRUE(WaitForPictures(10));
    Click(kIdStop);
  }
  const std::vector<std::string> kExpected = {"Error (AVI00014)", "Capture Process",
                                              "Error (AVI00014)", "Capture Process"};
  EXPECT_EQ(messages_.Captions(), kExpected);
  const rd420::test::AviContents avi = rd420::test::ReadAvi(chosenFile_.toStdString());
  EXPECT_EQ(avi.streams, 2);
  EXPECT_EQ(avi.audio.codec, "adpcm_ms");
  EXPECT_GE(avi.videoFrames, 5);
}

}  // namespace
}  // namespace rd420::avicap::test
