#include "driver/libusb_api.h"

#include <libusb.h>

#include <climits>

namespace rd420 {

namespace {

using Context = std::shared_ptr<libusb_context>;

struct ConfigDeleter {
  void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

// One bulk transfer; libusb calls Completed on the event thread.
class LibusbTransfer : public UsbTransfer {
 public:
  LibusbTransfer(UsbTransferDone done) : done_(std::move(done)) {}
  ~LibusbTransfer() override { libusb_free_transfer(transfer_); }

  int Submit(libusb_device_handle* handle, uint8_t endpoint, std::span<uint8_t> buffer) {
    transfer_ = libusb_alloc_transfer(0);
    if (transfer_ == nullptr) {
      return LIBUSB_ERROR_NO_MEM;
    }
    libusb_fill_bulk_transfer(transfer_, handle, endpoint, buffer.data(),
                              static_cast<int>(buffer.size()), &Completed, this, 0);
    return libusb_submit_transfer(transfer_);
  }
  void Cancel() override { libusb_cancel_transfer(transfer_); }

 private:
  static void LIBUSB_CALL Completed(libusb_transfer* transfer) {
    // The owner may free this object as soon as done_ has told it: nothing
    // of it is touched afterwards.
    auto* self = static_cast<LibusbTransfer*>(transfer->user_data);
    self->done_(transfer->status, static_cast<uint32_t>(transfer->actual_length));
  }

  UsbTransferDone done_;
  libusb_transfer* transfer_ = nullptr;
};

class LibusbDevice : public UsbDevice {
 public:
  LibusbDevice(Context context, libusb_device_handle* handle, UsbInterface interface)
      : context_(std::move(context)), handle_(handle), interface_(std::move(interface)) {}
  ~LibusbDevice() override {
    libusb_release_interface(handle_, interface_.number);
    libusb_close(handle_);
  }

  const UsbInterface& Interface() const override { return interface_; }

  int ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                std::span<uint8_t> data, unsigned timeoutMs) override {
    return libusb_control_transfer(handle_, requestType, request, value, index, data.data(),
                                   static_cast<uint16_t>(data.size()), timeoutMs);
  }

  std::unique_ptr<UsbTransfer> SubmitBulkIn(uint8_t endpoint, std::span<uint8_t> buffer,
                                            UsbTransferDone done, int& error) override {
    if (buffer.size() > INT_MAX) {
      error = LIBUSB_ERROR_INVALID_PARAM;
      return nullptr;
    }
    auto transfer = std::make_unique<LibusbTransfer>(std::move(done));
    error = transfer->Submit(handle_, endpoint, buffer);
    return error == LIBUSB_SUCCESS ? std::move(transfer) : nullptr;
  }

  int ClearHalt(uint8_t endpoint) override { return libusb_clear_halt(handle_, endpoint); }

 private:
  Context context_;  // the context outlives every handle opened in it
  libusb_device_handle* handle_;
  UsbInterface interface_;
};

// The first interface of the active configuration, its first setting.
int ReadInterface(libusb_device* device, UsbInterface& out) {
  libusb_config_descriptor* raw = nullptr;
  const int error = libusb_get_active_config_descriptor(device, &raw);
  if (error != LIBUSB_SUCCESS) {
    return error;
  }
  const std::unique_ptr<libusb_config_descriptor, ConfigDeleter> config(raw);
  if (config->bNumInterfaces == 0 || config->interface[0].num_altsetting == 0) {
    return LIBUSB_ERROR_NOT_FOUND;
  }
  const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
  out.number = setting.bInterfaceNumber;
  out.alternateSetting = setting.bAlternateSetting;
  out.interfaceClass = setting.bInterfaceClass;
  out.interfaceSubClass = setting.bInterfaceSubClass;
  out.interfaceProtocol = setting.bInterfaceProtocol;
  for (int i = 0; i < setting.bNumEndpoints; ++i) {
    const libusb_endpoint_descriptor& e = setting.endpoint[i];
    out.endpoints.push_back({e.bEndpointAddress, e.bmAttributes,
                             static_cast<uint16_t>(e.wMaxPacketSize & 0x7FF), e.bInterval});
  }
  return LIBUSB_SUCCESS;
}

class LibusbCandidate : public UsbCandidate {
 public:
  LibusbCandidate(Context context, libusb_device* device)
      : context_(std::move(context)), device_(libusb_ref_device(device)) {
    location_.bus = libusb_get_bus_number(device);
    uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    location_.ports.assign(ports, ports + (depth > 0 ? depth : 0));
  }
  ~LibusbCandidate() override { libusb_unref_device(device_); }

  const UsbLocation& Location() const override { return location_; }
  uint8_t Address() const override { return libusb_get_device_address(device_); }

  std::unique_ptr<UsbDevice> Open(int& error) override {
    UsbInterface interface;
    error = ReadInterface(device_, interface);
    if (error != LIBUSB_SUCCESS) {
      return nullptr;
    }
    libusb_device_handle* handle = nullptr;
    error = libusb_open(device_, &handle);
    if (error != LIBUSB_SUCCESS) {
      return nullptr;
    }
    // A kernel driver bound to the interface is set aside while we hold it.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    error = libusb_claim_interface(handle, interface.number);
    if (error != LIBUSB_SUCCESS) {
      libusb_close(handle);
      return nullptr;
    }
    return std::make_unique<LibusbDevice>(context_, handle, std::move(interface));
  }

 private:
  Context context_;
  libusb_device* device_;
  UsbLocation location_;
};

class LibusbApi : public UsbApi {
 public:
  explicit LibusbApi(Context context) : context_(std::move(context)) {}
  ~LibusbApi() override {
    if (hotplug_) {
      libusb_hotplug_deregister_callback(context_.get(), hotplugHandle_);
    }
  }

  std::vector<std::unique_ptr<UsbCandidate>> List(uint16_t vendorId, uint16_t productId) override {
    std::vector<std::unique_ptr<UsbCandidate>> found;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_.get(), &list);
    for (ssize_t i = 0; i < count; ++i) {
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(list[i], &descriptor) == LIBUSB_SUCCESS &&
          descriptor.idVendor == vendorId && descriptor.idProduct == productId) {
        found.push_back(std::make_unique<LibusbCandidate>(context_, list[i]));
      }
    }
    if (count >= 0) {
      libusb_free_device_list(list, 1);
    }
    return found;
  }

  bool HasHotplug() override { return libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0; }

  bool WatchHotplug(uint16_t vendorId, uint16_t productId, std::function<void()> changed) override {
    changed_ = std::move(changed);
    const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    hotplug_ =
        libusb_hotplug_register_callback(context_.get(), events, LIBUSB_HOTPLUG_NO_FLAGS, vendorId,
                                         productId, LIBUSB_HOTPLUG_MATCH_ANY, &HotplugEvent, this,
                                         &hotplugHandle_) == LIBUSB_SUCCESS;
    return hotplug_;
  }

  void HandleEvents(int timeoutMs) override {
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    libusb_handle_events_timeout_completed(context_.get(), &timeout, nullptr);
  }

  void Interrupt() override { libusb_interrupt_event_handler(context_.get()); }

 private:
  // libusb forbids opening devices from here: the callee only takes note.
  static int LIBUSB_CALL HotplugEvent(libusb_context*, libusb_device*, libusb_hotplug_event,
                                      void* self) {
    static_cast<LibusbApi*>(self)->changed_();
    return 0;  // stay registered
  }

  Context context_;
  std::function<void()> changed_;
  bool hotplug_ = false;
  libusb_hotplug_callback_handle hotplugHandle_{};
};

}  // namespace

std::unique_ptr<UsbApi> MakeLibusbApi(std::string& error) {
  libusb_context* raw = nullptr;
  const int result = libusb_init(&raw);
  if (result != LIBUSB_SUCCESS) {
    error = std::string("libusb cannot start: ") + libusb_strerror(result);
    return nullptr;
  }
  return std::make_unique<LibusbApi>(Context(raw, &libusb_exit));
}

}  // namespace rd420
