// What an application may pass wrongly: the source answers with a failure
// and a condition code, touches nothing it should not, and keeps working.

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/twain/twain_fixture.h"

namespace rd420::twain {
namespace {

struct NullRow {
  std::uint32_t state;
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
};

// Triplets that read or write pData, each in a state where it is allowed.
const NullRow kNeedsData[] = {
    {300, DG_CONTROL, DAT_IDENTITY, MSG_GET},
    {300, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS},
    {400, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS},
    {400, DG_CONTROL, DAT_CAPABILITY, MSG_GET},
    {400, DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    {400, DG_CONTROL, DAT_STATUS, MSG_GET},
    {600, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET},
    {700, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
    {700, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
    {400, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET},
    {400, DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET},
    {400, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET},
    {400, DG_CONTROL, DAT_XFERGROUP, MSG_GET},
    {500, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT},
    {600, DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
    {600, DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},
    {600, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
    {600, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},
    {600, DG_IMAGE, DAT_PALETTE8, MSG_GET},
    {600, DG_IMAGE, DAT_GRAYRESPONSE, MSG_SET},
    {600, DG_IMAGE, DAT_RGBRESPONSE, MSG_SET},
    {600, DG_IMAGE, DAT_CIECOLOR, MSG_GET},
};

// Catches: a null pData dereferenced, or taken as success, or a transfer
// lost to it: the state stays and the still can still be taken.
TEST_F(SourceTest, NullDataIsABadValueAndChangesNothing) {
  for (const NullRow& row : kNeedsData) {
    SCOPED_TRACE(testing::Message() << row.state << " dat " << row.dat << " msg " << row.msg);
    source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
    GoTo(row.state);
    EXPECT_EQ(Call(row.dg, row.dat, row.msg, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADVALUE);
    EXPECT_EQ(source_->State(), row.state);
  }
  TW_HANDLE dib = nullptr;
  source_ = std::make_unique<DataSource>(folder_, std::make_unique<FakeView>(view_));
  GoTo(600);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
  std::free(dib);
}

// Catches: MSG_OPENDS keeping the trace log of an earlier session.
TEST_F(SourceTest, OpenRemovesTheTraceLog) {
  std::ofstream(folder_ / "twsrc.log") << "old";
  Open();
  EXPECT_FALSE(std::filesystem::exists(folder_ / "twsrc.log"));
}

// Catches: a file name that can neither be found nor created accepted.
TEST_F(SourceTest, UncreatableFileNameIsABadValue) {
  GoTo(400);
  TW_SETUPFILEXFER setup{};
  std::strcpy(setup.FileName, (folder_ / "missing" / "x.bmp").c_str());
  EXPECT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  setup.FileName[0] = '\0';
  EXPECT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
}

// Catches: a file transfer that cannot write its file reported as done, and
// the still lost with it.
TEST_F(SourceTest, UnwritableTransferFileFailsAndKeepsTheStill) {
  GoTo(600);
  TW_SETUPFILEXFER setup{};
  const auto target = folder_ / "target.bmp";
  std::strcpy(setup.FileName, target.c_str());
  setup.Format = TWFF_BMP;
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  std::filesystem::remove(target);
  std::filesystem::create_directory(target);  // a folder where the file belongs
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(source_->State(), 600u);
  std::filesystem::remove(target);
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_XFERDONE);
  EXPECT_EQ(std::filesystem::file_size(target), 54 + 640u * 480 * 3);
}

// Catches: the default transfer file kept in the shared temporary folder,
// or a symbolic link at its name followed to overwrite another file.
TEST_F(SourceTest, DefaultTransferFileIsPerUserAndNoLinkIsFollowed) {
  const auto runtime = folder_ / "run";
  std::filesystem::create_directory(runtime);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  GoTo(600);
  TW_SETUPFILEXFER setup{};
  ASSERT_EQ(Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(std::string(setup.FileName), (runtime / "twain.bmp").string());

  std::ofstream(folder_ / "victim") << "keep";
  std::filesystem::create_symlink(folder_ / "victim", runtime / "twain.bmp");
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  EXPECT_EQ(source_->State(), 600u);
  std::ifstream victim(folder_ / "victim");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep");
}

}  // namespace
}  // namespace rd420::twain
