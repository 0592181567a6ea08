#pragma once

#include <memory>
#include <string>

#include "driver/usb_api.h"

namespace rd420 {

// The real UsbApi over one libusb context. Null (and `error` set to one
// line) when libusb cannot start, for example without /dev/bus/usb.
std::unique_ptr<UsbApi> MakeLibusbApi(std::string& error);

}  // namespace rd420
