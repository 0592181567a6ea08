#include "viewer/link_messages.h"

#include <gtest/gtest.h>

namespace rd420 {
namespace {

// Catches: a caption or text of the viewer's table out of place.
TEST(ViewerLinkMessages, CaptionsAndTextsByFailure) {
  const LinkMessages& table = viewer::ViewerLinkMessages();
  EXPECT_EQ(MessageFor(table, LinkFailure::kNoDevice).caption, "Error (AHL00001)");
  EXPECT_EQ(MessageFor(table, LinkFailure::kPostRequest).caption, "Error (AEP00003)");
  EXPECT_EQ(MessageFor(table, LinkFailure::kSendOpen).caption, "Error (AHL00004)");
  EXPECT_EQ(MessageFor(table, LinkFailure::kBulkRead).caption, "Error (ABK00005)");
  EXPECT_EQ(MessageFor(table, LinkFailure::kNotHighSpeed).text,
            "USB 1.1은 지원하지 않아 프로그램을 실행할 수 없습니다.\nUSB버전을 확인해보세요! ");
  EXPECT_TRUE(MessageFor(table, LinkFailure::kSpeedTestOpen).text.ends_with("다!    "));
  EXPECT_TRUE(MessageFor(table, LinkFailure::kNotReady).text.ends_with("세요!  "));
}

}  // namespace
}  // namespace rd420
