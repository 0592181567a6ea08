#pragma once

#include <cstdint>

namespace rd420 {

// The camera driver's four I/O-control requests (device type 0x22, access 0).
inline constexpr uint32_t kIoctlGetPipeInformation = 0x222000;
inline constexpr uint32_t kIoctlAbortPipe = 0x22203D;
inline constexpr uint32_t kIoctlBulkRead = 0x22204E;
inline constexpr uint32_t kIoctlVendorRequest = 0x222059;

// Pipe 1 is the bulk IN pipe that carries frames.
inline constexpr uint32_t kFramePipeIndex = 1;

inline constexpr uint32_t kPipeInformationBufferBytes = 1024;
inline constexpr uint32_t kVendorRecordBytes = 10;
inline constexpr uint32_t kVendorReplyBytes = 4;
inline constexpr uint32_t kPipeIndexBytes = 4;

// Device nodes are "RD-420-<n>" for n in 0..31.
inline constexpr int kMaxDeviceInstances = 32;

}  // namespace rd420
