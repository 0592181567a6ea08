// The data source's view window in a Qt host, headless, against the
// simulated camera: the source is linked in and driven as an application
// would drive it, with the stand-in manager recording the notifications.

#include "twain/view_window.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>

#include "devlink/convert_frame.h"
#include "devlink/frame_bitmap.h"
#include "devlink/frame_reader.h"
#include "devlink/socket_transport.h"
#include "support/gui_helpers.h"
#include "support/simulator_process.h"
#include "tests/twain/loaded_source.h"
#include "tests/twain/twain_fixture.h"
#include "viewer/control_ids.h"
#include "viewer/link_messages.h"
#include "viewer/viewer.h"

namespace rd420::twain {
namespace {

using rd420::test::OwnThreadCount;
using rd420::test::SimulatorProcess;
using rd420::test::WaitFor;

constexpr std::uint32_t kFreezeOn = 0x00120005;

// Sets an environment variable for one test and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnv() {
    if (had_) {
      qputenv(name_, old_);
    } else {
      qunsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

class ViewWindowTest : public ::testing::Test {
 protected:
  ViewWindowTest() {
    app_.Id = 7;
    app_.ProtocolMajor = 2;
    app_.ProtocolMinor = 4;
    manager_.Take();  // what other tests left
  }
  ~ViewWindowTest() override {
    source_.reset();
    simulator_.reset();
  }

  // The source against a fresh camera, opened and enabled.
  void Enable(bool showUi, const std::vector<std::string>& cameraOptions = {}) {
    simulator_ = std::make_unique<SimulatorProcess>(cameraOptions);
    ASSERT_TRUE(simulator_->Ready());
    EnableOn(simulator_->Directory(), showUi);
  }
  void EnableOn(const std::string& deviceDirectory, bool showUi) {
    ViewWindow::Settings settings;
    settings.deviceDirectory = deviceDirectory;
    settings.readyPollIntervalMs = 1;
    settings.messageBoxes = false;
    auto window = std::make_unique<ViewWindow>(settings);
    window_ = window.get();
    source_ = std::make_unique<DataSource>(TWAIN_TEMPLATE_DIR, std::move(window));
    TW_IDENTITY identity{};
    identity.Id = 42;
    ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
    TW_USERINTERFACE ui{showUi ? kTwTrue : kTwFalse, kTwFalse, parent_};
    ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  }
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
    return source_->Entry(&app_, dg, dat, msg, data);
  }
  TW_UINT16 Condition() {
    TW_STATUS status{};
    Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
  }
  void DisableAndClose() {
    TW_USERINTERFACE ui{};
    ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(window_->View(), nullptr);  // the windows are gone as it returns
    ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  }

  viewer::Viewer& View() { return *window_->View(); }
  QAbstractButton* Panel(int id) {
    return View().Panel()->findChild<QAbstractButton*>(viewer::ControlName(id));
  }
  QAbstractButton* Main(int id) {
    return View().Main()->findChild<QAbstractButton*>(viewer::ControlName(id),
                                                      Qt::FindDirectChildrenOnly);
  }
  void Click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // Waits for the manager to have been sent `msg`; forgets what it was sent.
  bool WaitForNotification(TW_UINT16 msg) {
    bool seen = false;
    WaitFor([&] {
      for (const StandInRecord& record : manager_.Take()) {
        seen = seen || (record.msg == msg && record.dg == DG_CONTROL && record.dat == DAT_NULL);
      }
      return seen;
    });
    return seen;
  }

  // The camera repeats one picture from now on.
  void FreezeCamera() {
    SocketTransport transport(simulator_->Directory());
    DeviceLink link(transport, viewer::ViewerLinkMessages());
    ASSERT_TRUE(link.DiscoverDevice());
    ASSERT_TRUE(link.SendCommand(kFreezeOn));
    link.WaitIdle();
  }
  // The frozen picture converted as the view window converts a still
  // (bottom-up B, G, R rows). Read only while the window reads no frames:
  // a failed read here would abort the window's reads too.
  std::vector<std::uint8_t> FrozenPicture(Resolution resolution = Resolution::kHalf) {
    SocketTransport transport(simulator_->Directory());
    DeviceLink link(transport, viewer::ViewerLinkMessages());
    EXPECT_TRUE(link.DiscoverDevice());
    EXPECT_TRUE(link.SendCommand(ResolutionCommand(resolution)));
    const FrameGeometry geometry = FrameGeometryFor(true, resolution);
    std::vector<std::uint8_t> frame(geometry.FrameBytes());
    std::unique_ptr<DeviceHandle> device = link.OpenDevice();
    if (device == nullptr) {
      ADD_FAILURE() << "no camera";
      return {};
    }
    FrameReader reader(link, *device);
    EXPECT_TRUE(reader.Read(frame, 5000));
    FrameBitmap bitmap(FrameBitmap::kStillPelsPerMeter);
    EXPECT_TRUE(bitmap.Allocate(geometry));
    bitmap.ConvertFrom(frame);
    link.WaitIdle();
    return {bitmap.Pixels().begin(), bitmap.Pixels().end()};
  }
  // A native transfer's DIB pixels (after its 40-byte header).
  std::vector<std::uint8_t> NativeTransfer() {
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
    if (dib == nullptr) {
      return {};
    }
    const auto* header = static_cast<const std::uint8_t*>(dib);
    std::int32_t width, height;
    std::memcpy(&width, header + 4, 4);
    std::memcpy(&height, header + 8, 4);
    std::vector<std::uint8_t> pixels(header + 40, header + 40 + size_t(width) * height * 3);
    std::free(dib);
    return pixels;
  }
  // A memory transfer's rows, as delivered (top-down R, G, B).
  std::vector<std::uint8_t> MemoryTransfer() {
    std::vector<std::uint8_t> rows;
    std::vector<std::uint8_t> strip(65535);
    for (int strips = 0; strips < 100; ++strips) {
      TW_IMAGEMEMXFER xfer{};
      xfer.Memory = {0, static_cast<TW_UINT32>(strip.size()), strip.data()};
      const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
      if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
        ADD_FAILURE() << "strip " << strips << " rc " << rc;
        break;
      }
      rows.insert(rows.end(), strip.begin(), strip.begin() + xfer.BytesWritten);
      if (rc == TWRC_XFERDONE) {
        break;
      }
    }
    return rows;
  }
  void EndTransfer() {
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
  }
  bool CaptureButtonsEnabled(bool enabled) {
    return WaitFor(
        [&] { return Panel(2052)->isEnabled() == enabled && Panel(2053)->isEnabled() == enabled; });
  }
  // "Capture Image" freezes the picture; "Scan Capturing Image" hands it over.
  void TakeAndScan() {
    Click(Panel(2052));
    ASSERT_TRUE(WaitFor([&] { return Panel(2053)->isEnabled(); }));
    Click(Panel(2053));
    ASSERT_TRUE(WaitForNotification(MSG_XFERREADY));
    EXPECT_EQ(source_->State(), 600u);
  }

  QTemporaryDir config_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", config_.path().toLocal8Bit()};
  ScopedEnv temporary_{"TMPDIR", config_.path().toLocal8Bit()};  // the trace log the source removes
  MessageRecorder messages_;
  StandInManager manager_;
  std::unique_ptr<SimulatorProcess> simulator_;
  std::unique_ptr<DataSource> source_;
  ViewWindow* window_ = nullptr;
  TW_HANDLE parent_ = nullptr;  // the application's window
  TW_IDENTITY app_{};
};

// Top-down R, G, B rows of bottom-up B, G, R ones.
std::vector<std::uint8_t> TopDownRgb(const std::vector<std::uint8_t>& bgr, int width) {
  const size_t row = size_t(width) * 3;
  std::vector<std::uint8_t> rgb;
  for (size_t start = bgr.size(); start >= row; start -= row) {
    for (size_t i = start - row; i < start; i += 3) {
      rgb.insert(rgb.end(), {bgr[i + 2], bgr[i + 1], bgr[i]});
    }
  }
  return rgb;
}

// Catches: a still not reaching the application, pixels other than the
// camera's frame as the viewer shows it, capture buttons usable while a
// still is pending or never given back after MSG_ENDXFER, a second still
// in one enabled period refused, camera threads left after MSG_DISABLEDS.
TEST_F(ViewWindowTest, CaptureThenScanDeliversTheCamerasPictureTwice) {
  const int threadsBefore = OwnThreadCount();
  ASSERT_NO_FATAL_FAILURE(Enable(true));
  ASSERT_TRUE(WaitFor([&] { return View().Main()->isVisible(); }));
  EXPECT_EQ(source_->State(), 500u);
  ASSERT_NO_FATAL_FAILURE(FreezeCamera());

  ASSERT_NO_FATAL_FAILURE(TakeAndScan());
  EXPECT_TRUE(CaptureButtonsEnabled(false));
  const std::vector<std::uint8_t> frozen = FrozenPicture();  // the window holds its still
  TW_IMAGEINFO info{};
  ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
  EXPECT_EQ(info.ImageWidth, 640);
  EXPECT_EQ(info.ImageLength, 480);
  EXPECT_TRUE(NativeTransfer() == frozen);
  QTest::qWait(200);  // the still thread polls ResumeFlag every 60 ms
  EXPECT_FALSE(Panel(2052)->isEnabled());
  EndTransfer();
  EXPECT_TRUE(CaptureButtonsEnabled(true));

  Click(Panel(2052));  // back to live view
  ASSERT_TRUE(WaitFor([&] { return View().Flags().g_Stream_Run != 0; }));
  ASSERT_NO_FATAL_FAILURE(TakeAndScan());
  EXPECT_TRUE(MemoryTransfer() == TopDownRgb(frozen, 640));
  EndTransfer();

  DisableAndClose();
  // A request thread that has just been joined may take a moment to go.
  EXPECT_TRUE(WaitFor([&] { return OwnThreadCount() == threadsBefore; }, 2000));
  EXPECT_TRUE(messages_.Messages().empty());
}

// Catches: a hidden window shown, a transfer without a handed-over still
// reading nothing (or an old still), a dead camera's transfer reported as
// success.
TEST_F(ViewWindowTest, HiddenWindowTransfersTheCurrentPicture) {
  ASSERT_NO_FATAL_FAILURE(Enable(false));
  EXPECT_TRUE(WaitForNotification(MSG_XFERREADY));
  EXPECT_FALSE(View().Main()->isVisible());
  ASSERT_TRUE(WaitFor([&] { return View().Main()->View()->PicturesShown() > 0; }));
  ASSERT_NO_FATAL_FAILURE(FreezeCamera());
  const std::vector<std::uint8_t> transferred = NativeTransfer();
  EndTransfer();
  ASSERT_TRUE(WaitFor([&] { return View().Flags().g_Stream_Run != 0; }));  // live again

  EXPECT_EQ(simulator_->Control("unplug").rfind("ok", 0), 0u);
  TW_HANDLE dib = nullptr;
  EXPECT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
  DisableAndClose();
  EXPECT_EQ(simulator_->Control("plug").rfind("ok", 0), 0u);
  EXPECT_TRUE(transferred == FrozenPicture());
}

// Catches: a still read at full size from a camera frozen at half size
// handed over as a whole picture, its missing rows flat green.
TEST_F(ViewWindowTest, FrozenCameraWithAlwaysFullTransfersTheWholePicture) {
  ASSERT_NO_FATAL_FAILURE(Enable(false));
  EXPECT_TRUE(WaitForNotification(MSG_XFERREADY));
  ASSERT_TRUE(WaitFor([&] { return View().Main()->View()->PicturesShown() > 0; }));
  View().Still().alwaysFull = true;
  ASSERT_NO_FATAL_FAILURE(FreezeCamera());
  // The camera has held a half-size picture for the window's live view.
  const auto shown = View().Main()->View()->PicturesShown();
  ASSERT_TRUE(WaitFor([&] { return View().Main()->View()->PicturesShown() > shown + 1; }));
  const std::vector<std::uint8_t> transferred = NativeTransfer();
  EndTransfer();
  ASSERT_EQ(transferred.size(), 1280u * 960 * 3);
  // What a buffer's untouched zero bytes become: one flat green row.
  const std::vector<std::uint8_t> zeros(1280 * 2);
  std::vector<std::uint8_t> flat(1280 * 3);
  ConvertFrame(flat.data(), zeros.data(), zeros.size());
  int flatRows = 0;
  for (auto row = transferred.begin(); row != transferred.end(); row += flat.size()) {
    flatRows += std::equal(flat.begin(), flat.end(), row) ? 1 : 0;
  }
  EXPECT_EQ(flatRows, 0) << "of 960";
  DisableAndClose();
  EXPECT_TRUE(transferred == FrozenPicture(Resolution::kFull));
}

// Catches: a transfer after MSG_ENDXFER in the same hidden session that
// fails now and then.
TEST_F(ViewWindowTest, HiddenWindowTransfersAgainAndAgain) {
  ASSERT_NO_FATAL_FAILURE(Enable(false));
  EXPECT_TRUE(WaitForNotification(MSG_XFERREADY));
  ASSERT_TRUE(WaitFor([&] { return View().Main()->View()->PicturesShown() > 0; }));
  ASSERT_NO_FATAL_FAILURE(FreezeCamera());
  constexpr int kRounds = 30;
  int failed = 0;
  for (int round = 0; round < kRounds; ++round) {
    TW_HANDLE dib = nullptr;
    if (Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib) != TWRC_XFERDONE) {
      ++failed;  // still in 600: the next round tries again
      continue;
    }
    std::free(dib);
    ASSERT_NO_FATAL_FAILURE(EndTransfer());
  }
  EXPECT_EQ(failed, 0) << "of " << kRounds << " transfers";
  DisableAndClose();
}

// Catches: Exit closing the window itself or not asking the application,
// the camera left running or not told to shut down, MSG_CLOSEDS without
// MSG_DISABLEDS leaving the window behind.
TEST_F(ViewWindowTest, ExitAsksTheApplicationToCloseAndKeepsTheWindow) {
  ASSERT_NO_FATAL_FAILURE(Enable(true));
  Click(Main(2));
  EXPECT_TRUE(WaitForNotification(MSG_CLOSEDSREQ));
  ASSERT_NE(window_->View(), nullptr);
  EXPECT_TRUE(View().Main()->isVisible());
  EXPECT_EQ(View().Flags().g_Stream_Run, 0u);
  EXPECT_NE(simulator_->Control("history").find("0x00330005"), std::string::npos);
  // An application may close the source without disabling it first.
  ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  EXPECT_EQ(window_->View(), nullptr);
}

// Catches: an application that disables and closes the source from its
// close-request callback, on the request's own thread: the request joining
// itself (an abort), a hang, or a source that cannot be enabled again.
TEST_F(ViewWindowTest, ClosedFromTheCloseRequestCallbackAndEnabledAgain) {
  ASSERT_NO_FATAL_FAILURE(Enable(true));
  std::atomic<bool> closed{false};
  manager_.OnNotification([&] {
    TW_USERINTERFACE ui{};
    EXPECT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
    EXPECT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    closed = true;
  });
  Click(Main(2));
  ASSERT_TRUE(WaitFor([&] { return closed.load(); }));
  manager_.OnNotification([] {});
  EXPECT_EQ(window_->View(), nullptr);
  TW_IDENTITY identity{};
  identity.Id = 42;
  ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
  TW_USERINTERFACE ui{kTwTrue, kTwFalse, parent_};
  ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  DisableAndClose();
}

// Catches: a device error, a missing camera or a USB 1.1 link that ends
// the window without asking the application to close the source, a Korean
// or missing message, MSG_ENABLEDS failing without a camera.
TEST_F(ViewWindowTest, ALostCameraShowsItsMessageAndAsksToClose) {
  const struct {
    std::vector<std::string> cameraOptions;
    bool unplugFirst;
    const char* caption;  // null: whichever request meets the loss first
    const char* text;
  } cases[] = {
      {{},
       true,
       "Error (AWN00003)",
       "Fail to find USB device driver.\nCheck the USB plug or the power of the USB set. "},
      {{"--full-speed"},
       false,
       "Error (AHL00008)",
       "TORVELA TWAIN program dose not support USB 1.1 port.\nCheck your USB version!"},
      {{}, false, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption != nullptr ? c.caption : "lost while streaming");
    messages_.Clear();
    simulator_ = std::make_unique<SimulatorProcess>(c.cameraOptions);
    ASSERT_TRUE(simulator_->Ready());
    if (c.unplugFirst) {
      simulator_->Control("unplug");
    }
    ASSERT_NO_FATAL_FAILURE(EnableOn(simulator_->Directory(), true));
    if (c.caption == nullptr) {
      ASSERT_TRUE(WaitFor([&] { return View().Main()->View()->PicturesShown() > 0; }));
      simulator_->Control("unplug");
    }
    EXPECT_TRUE(WaitForNotification(MSG_CLOSEDSREQ));
    // The window stands, disabled, until the application closes it.
    ASSERT_NE(View().Main(), nullptr);
    EXPECT_TRUE(View().Main()->isVisible());
    EXPECT_FALSE(View().Main()->isEnabled());
    ASSERT_EQ(messages_.Messages().size(), 1u);  // shown before the threads ended
    const Message shown = messages_.Messages()[0];
    if (c.caption != nullptr) {
      EXPECT_EQ(shown.caption, c.caption);
      EXPECT_EQ(shown.text, c.text);
    } else {
      const LinkMessages& english = DataSourceLinkMessages();
      EXPECT_TRUE(std::any_of(english.begin(), english.end(), [&](const LinkMessage& m) {
        return m.caption == shown.caption && m.text == shown.text;
      })) << shown.caption;
    }
    DisableAndClose();
  }
}

// Catches: the application's own timer disabling the source, from its
// event loop, while the hidden window ends after losing its camera: the
// window destroyed under its own ending.
TEST_F(ViewWindowTest, DisabledFromTheEventLoopAsTheCameraIsLost) {
  simulator_ = std::make_unique<SimulatorProcess>();
  ASSERT_TRUE(simulator_->Ready());
  std::mt19937 random(24);
  for (int round = 0; round < 25; ++round) {
    SCOPED_TRACE(round);
    ASSERT_NO_FATAL_FAILURE(EnableOn(simulator_->Directory(), false));
    ASSERT_EQ(simulator_->Control("unplug").rfind("ok", 0), 0u);
    bool disabled = false;
    QTimer::singleShot(static_cast<int>(random() % 61), [&] {
      TW_USERINTERFACE ui{};
      EXPECT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
      disabled = true;
    });
    ASSERT_TRUE(WaitFor([&] { return disabled; }));
    ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
    ASSERT_EQ(simulator_->Control("plug").rfind("ok", 0), 0u);
  }
}

// Catches: the source's message sink left installed once it is released:
// it would outlive the library, and the host's own sink would be lost.
TEST_F(ViewWindowTest, ReleaseGivesTheHostsMessageSinkBack) {
  QTemporaryDir noCameras;
  ViewWindow::Settings settings;
  settings.deviceDirectory = noCameras.path().toStdString();
  settings.messageBoxes = true;
  ViewWindow window(settings);
  ASSERT_EQ(window.Open(nullptr, true), TWCC_SUCCESS);
  window.Close();
  window.Release();
  messages_.Clear();
  ShowMessage(nullptr, "text", "caption", MessageIcon::kInformation);
  EXPECT_EQ(messages_.Captions(), std::vector<std::string>{"caption"});
}

// Catches: the viewer's face in the data source: its title, Korean tips,
// its settings key, save, print, quick save or the capture program
// reachable, F2 acting, a window not owned by the application's.
TEST_F(ViewWindowTest, ShowsTheDataSourcesFace) {
  QWidget application;
  application.show();
  parent_ = &application;
  ASSERT_NO_FATAL_FAILURE(Enable(true));
  EXPECT_EQ(View().Main()->windowHandle()->transientParent(), application.windowHandle());
  EXPECT_EQ(View().Main()->windowTitle(),
            QStringLiteral("Orvisto View Panel - USB2.0 High Speed Mode"));
  EXPECT_EQ(Main(2062)->toolTip(), QStringLiteral("1:1 Image Mode(Window)"));
  EXPECT_EQ(Panel(2053)->toolTip(), QStringLiteral("Scan Capturing Image"));
  for (int id : {viewer::kIdPrint, viewer::kIdCaptureProgram}) {
    EXPECT_EQ(Panel(id), nullptr) << id;
  }
  EXPECT_EQ(Main(viewer::kIdQuickSave), nullptr);
  EXPECT_TRUE(QFile::exists(config_.filePath(QStringLiteral("Software/QRN_VMXTW.ini"))));
  const QStringList about = [&] {
    QStringList texts;
    for (QLabel* label : View().About()->findChildren<QLabel*>()) {
      texts << label->text();
    }
    return texts;
  }();
  EXPECT_TRUE(about.contains(QStringLiteral("Torvela Brimlex Pelucid TWAIN Driver")));
  EXPECT_TRUE(about.contains(QStringLiteral("Ver :3.0.11.19  TWAIN")));

  ASSERT_TRUE(WaitFor([&] { return View().Flags().g_Stream_Run != 0; }));
  QTest::keyClick(View().Main(), Qt::Key_F2);
  // A quick save would have begun as the key was handled.
  EXPECT_EQ(View().Stills().g_QuickSave_Busy, 0u);
  EXPECT_EQ(View().Flags().g_Capture_Mode, 0u);
  DisableAndClose();
}

}  // namespace
}  // namespace rd420::twain

namespace rd420::twain {
namespace {

// Catches: the loaded source starting a Qt application of its own beside
// the host's, failing on the host's GUI thread, or leaving a thread behind
// after MSG_CLOSEDS and unloading.
TEST(QtHost, LoadedSourceUsesTheHostsApplicationAndLeavesNoThread) {
  test::SimulatorProcess camera;
  ASSERT_TRUE(camera.Ready());
  QTemporaryDir folder;
  ScopedEnv devices("RD420_DEVICE_DIR", QByteArray::fromStdString(camera.Directory()));
  ScopedEnv configHome("XDG_CONFIG_HOME", folder.path().toLocal8Bit());
  ScopedEnv temporary("TMPDIR", folder.path().toLocal8Bit());
  QCoreApplication* host = QCoreApplication::instance();
  const int threads = test::OwnThreadCount();
  ASSERT_NO_FATAL_FAILURE(ScanWithLoadedSource([&] {
    EXPECT_EQ(QCoreApplication::instance(), host);
    EXPECT_TRUE(test::WaitFor([&] { return test::OwnThreadCount() == threads; }, 2000))
        << "after MSG_CLOSEDS";
  }));
  EXPECT_TRUE(test::WaitFor([&] { return test::OwnThreadCount() == threads; }, 2000))
      << "after unloading";
}

}  // namespace
}  // namespace rd420::twain
