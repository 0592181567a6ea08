// rd420d: the user-space camera driver. Serves each camera as a UNIX socket
// device node; with --simulate the cameras are the built-in model, with
// --usb VID:PID the real cameras through libusb.
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "driver/daemon_options.h"
#include "driver/device_server.h"
#include "driver/simulator_control.h"
#include "wire/device_directory.h"
#ifdef RD420_USB
#include "driver/libusb_api.h"
#include "driver/recording_usb_api.h"
#include "driver/replay_usb_api.h"
#include "driver/usb_cameras.h"
#endif

namespace {

// Serves until SIGINT, SIGTERM or SIGHUP; the caller has started `server`.
// Signals are taken by one thread with sigwait, so the others never run a
// handler in the middle of their work.
int Serve(rd420::DeviceServer& server, const sigset_t& stopSignals) {
  std::thread signalWaiter;
  try {
    signalWaiter = std::thread([&server, stopSignals] {
      int signal = 0;
      sigwait(&stopSignals, &signal);
      server.Stop();
    });
  } catch (const std::system_error& failure) {
    std::fprintf(stderr, "rd420d: cannot start the signal thread: %s\n", failure.what());
    return 1;
  }
  server.Run();
  // Run only returns on a stop request or a fatal poll error; make sure the
  // signal thread can end either way.
  pthread_kill(signalWaiter.native_handle(), SIGTERM);
  signalWaiter.join();
  return 0;
}

int Simulate(const rd420::DaemonOptions& options, const std::string& directory,
             const sigset_t& stopSignals) {
  std::map<int, std::unique_ptr<rd420::CameraBackend>> cameras;
  std::map<int, rd420::sim::SimulatedCamera*> simulated;
  for (int instance : options.instances) {
    auto camera = std::make_unique<rd420::sim::SimulatedCamera>(options.camera);
    simulated[instance] = camera.get();
    cameras[instance] = std::move(camera);
  }
  rd420::DeviceServer server(directory, std::move(cameras));
  rd420::sim::SimulatorControl control(server, std::move(simulated));
  server.SetControlHandler([&control](const std::string& line) { return control.Execute(line); });
  if (!server.Start()) {
    return 1;
  }
  std::fprintf(stderr, "rd420d: simulating %zu camera(s) in %s\n", options.instances.size(),
               directory.c_str());
  const int status = Serve(server, stopSignals);
  // The control handler borrows `control`, which goes before `server`.
  server.Shutdown();
  return status;
}

#ifdef RD420_USB
// The bus: libusb's, or the one camera of a recorded session.
std::unique_ptr<rd420::UsbApi> OpenBus(const rd420::DaemonOptions& options, uint16_t& vendorId,
                                       uint16_t& productId, std::string& error) {
  vendorId = options.usbVendorId;
  productId = options.usbProductId;
  if (options.replayPath.empty()) {
    return rd420::MakeLibusbApi(error);
  }
  std::optional<rd420::UsbSession> session = rd420::ReadUsbSession(options.replayPath, error);
  if (!session) {
    return nullptr;
  }
  vendorId = session->vendorId;
  productId = session->productId;
  return std::make_unique<rd420::ReplayUsbApi>(
      std::move(*session), options.replayPath,
      [](const std::string& line) { std::fprintf(stderr, "rd420d: %s\n", line.c_str()); });
}
#endif

int ServeUsb(const rd420::DaemonOptions& options, const std::string& directory,
             const sigset_t& stopSignals) {
#ifdef RD420_USB
  std::string error;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  const std::unique_ptr<rd420::UsbApi> bus = OpenBus(options, vendorId, productId, error);
  if (!bus) {
    std::fprintf(stderr, "rd420d: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<rd420::UsbSessionWriter> recording;
  std::unique_ptr<rd420::RecordingUsbApi> recorder;
  if (!options.recordPath.empty()) {
    std::FILE* file = std::fopen(options.recordPath.c_str(), "w");
    if (file == nullptr) {
      std::fprintf(stderr, "rd420d: cannot write %s: %s\n", options.recordPath.c_str(),
                   std::strerror(errno));
      return 1;
    }
    recording = std::make_unique<rd420::UsbSessionWriter>(file, !options.recordHeadersOnly);
    recorder = std::make_unique<rd420::RecordingUsbApi>(*bus, *recording);
  }
  rd420::UsbApi& api = recorder ? *recorder : *bus;
  // The server goes before the api: its cameras hold devices opened there.
  rd420::DeviceServer server(directory, {});
  rd420::UsbCameras cameras(api, server, {vendorId, productId}, [](const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
  });
  const int present = cameras.Scan();
  if (!server.Start() || !cameras.Start()) {
    return 1;
  }
  std::fprintf(stderr, "rd420d: serving the USB cameras %04x:%04x in %s%s\n", vendorId, productId,
               directory.c_str(),
               present == 0 ? "; none is plugged in yet, each gets its node when it comes" : "");
  const int status = Serve(server, stopSignals);
  // The reads the shutdown cancels end through the event thread, which
  // stops after them.
  server.Shutdown();
  cameras.Stop();
  return status;
#else
  (void)options;
  (void)directory;
  (void)stopSignals;
  std::fprintf(stderr, "rd420d: this build has no USB back-end (built without libusb)\n");
  return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  rd420::DaemonOptions options;
  std::string error;
  if (!rd420::ParseDaemonOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "rd420d: %s\n%s", error.c_str(), rd420::kDaemonUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(rd420::kDaemonUsage, stdout);
    return 0;
  }
  const std::string directory =
      options.directory.empty() ? rd420::DefaultDeviceDirectory() : options.directory;

  // Idle connections cost a descriptor each: take all the hard limit
  // allows. At whatever limit, the server refuses newcomers cleanly.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  return options.simulate ? Simulate(options, directory, stopSignals)
                          : ServeUsb(options, directory, stopSignals);
}
