#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/message.h"
#include "platform/trace.h"

namespace rd420 {
namespace {

// Catches: a recorder that misses fields or leaves its sink installed.
TEST(ShowMessage, RecorderCapturesCaptionTextIconAndRestoresSink) {
  std::vector<Message> outer;
  MessageSink previous = SetMessageSink([&](const void*, const Message& m) { outer.push_back(m); });
  {
    MessageRecorder recorder;
    ShowMessage(nullptr, "text \n  ", "Error (AHL00001)", MessageIcon::kWarning);
    ASSERT_EQ(recorder.Messages().size(), 1u);
    EXPECT_EQ(recorder.Messages()[0].caption, "Error (AHL00001)");
    EXPECT_EQ(recorder.Messages()[0].text, "text \n  ");
    EXPECT_EQ(recorder.Messages()[0].icon, MessageIcon::kWarning);
  }
  ShowMessage(nullptr, "after", "Caption", MessageIcon::kError);
  ASSERT_EQ(outer.size(), 1u);
  EXPECT_EQ(outer[0].text, "after");
  SetMessageSink(std::move(previous));
}

// Catches: a trace line that overruns its 512-byte buffer.
TEST(Trace, LinesAreCutTo511Characters) {
  char buffer[kTraceBufferBytes];
  const std::string longText(600, 'x');
  EXPECT_EQ(FormatTraceLine(buffer, "%s", longText.c_str()), 511);
  EXPECT_EQ(std::string(buffer), longText.substr(0, 511));
}

// Catches: the status trace line formatted differently from its pattern.
TEST(Trace, StatusLineFormat) {
  char buffer[kTraceBufferBytes];
  FormatTraceLine(buffer, "Send Data = 0x%8.8X, g_Normal_Status : 0x%8.8X", 0x00260005u,
                  0x61802004u);
  EXPECT_STREQ(buffer, "Send Data = 0x00260005, g_Normal_Status : 0x61802004");
}

// Catches: tracing switched on by any value rather than exactly 1.
TEST(Trace, EnabledOnlyByRd420TraceEqualTo1) {
  setenv("RD420_TRACE", "0", 1);
  EXPECT_FALSE(TraceEnabled());
  setenv("RD420_TRACE", "1", 1);
  EXPECT_TRUE(TraceEnabled());
  unsetenv("RD420_TRACE");
  EXPECT_FALSE(TraceEnabled());
}

}  // namespace
}  // namespace rd420
