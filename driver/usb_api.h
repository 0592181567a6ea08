#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace rd420 {

// The few libusb calls the USB back-end makes, behind one seam so tests can
// play a camera without hardware. Errors are libusb's own codes
// (LIBUSB_ERROR_*), transfer outcomes its libusb_transfer_status values.

// Where a device sits: its bus and the port numbers from the root hub down.
// Cameras are numbered in this order.
struct UsbLocation {
  uint8_t bus = 0;
  std::vector<uint8_t> ports;
  auto operator<=>(const UsbLocation&) const = default;
  bool operator==(const UsbLocation&) const = default;
};

struct UsbEndpoint {
  uint8_t address = 0;     // bit 7 set = IN
  uint8_t attributes = 0;  // bits 0..1: 0 control, 1 isochronous, 2 bulk, 3 interrupt
  uint16_t maxPacketSize = 0;
  uint8_t interval = 0;
};

// The claimed interface's descriptor, endpoints in descriptor order.
struct UsbInterface {
  uint8_t number = 0;
  uint8_t alternateSetting = 0;
  uint8_t interfaceClass = 0;
  uint8_t interfaceSubClass = 0;
  uint8_t interfaceProtocol = 0;
  std::vector<UsbEndpoint> endpoints;
};

// One bulk transfer in flight. Destroy it only after its completion has
// run; Cancel makes the completion come soon, with status "cancelled".
class UsbTransfer {
 public:
  virtual ~UsbTransfer() = default;
  virtual void Cancel() = 0;
};

// Runs on the event thread with the transfer's status and the bytes that
// arrived.
using UsbTransferDone = std::function<void(int status, uint32_t actualBytes)>;

// An opened camera with its first interface claimed; closes it when it
// goes. Safe from any thread.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  virtual const UsbInterface& Interface() const = 0;
  // A synchronous control transfer, device to host: the bytes that came,
  // or a negative error.
  virtual int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                        std::span<uint8_t> data, unsigned timeoutMs) = 0;
  // Starts one bulk IN transfer of the whole buffer, with no time-out.
  // Null (and `error` set) when it could not be submitted.
  virtual std::unique_ptr<UsbTransfer> SubmitBulkIn(uint8_t endpoint, std::span<uint8_t> buffer,
                                                    UsbTransferDone done, int& error) = 0;
  virtual int ClearHalt(uint8_t endpoint) = 0;
};

// A device seen on the bus, not yet opened.
class UsbCandidate {
 public:
  virtual ~UsbCandidate() = default;
  virtual const UsbLocation& Location() const = 0;
  // Changes each time the device is enumerated anew (a replug).
  virtual uint8_t Address() const = 0;
  // Opens the device and claims its first interface; null and `error` set
  // on failure (LIBUSB_ERROR_ACCESS: no permission, LIBUSB_ERROR_BUSY:
  // another program holds it).
  virtual std::unique_ptr<UsbDevice> Open(int& error) = 0;
};

class UsbApi {
 public:
  virtual ~UsbApi() = default;
  // The devices with this vendor and product id present now.
  virtual std::vector<std::unique_ptr<UsbCandidate>> List(uint16_t vendorId,
                                                          uint16_t productId) = 0;
  // Whether the platform tells of arrivals and departures; without it the
  // caller rescans now and then.
  virtual bool HasHotplug() = 0;
  // `changed` runs on the event thread when such a device comes or goes.
  virtual bool WatchHotplug(uint16_t vendorId, uint16_t productId,
                            std::function<void()> changed) = 0;
  // Runs completions and hot-plug notices for up to `timeoutMs`; returns
  // early after any event or an Interrupt. Called by the event thread only.
  virtual void HandleEvents(int timeoutMs) = 0;
  // Wakes HandleEvents. Safe from any thread.
  virtual void Interrupt() = 0;
};

}  // namespace rd420
