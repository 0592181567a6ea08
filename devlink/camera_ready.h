#pragma once

#include <cstdint>
#include <stop_token>

namespace rd420 {

class DeviceLink;
struct CameraStatus;

inline constexpr int kReadyPollIntervalMs = 100;
inline constexpr int kReadyPollLimit = 300;

// Polls the status until the camera has finished starting up (bit 21
// clear), at most kReadyPollLimit polls `pollIntervalMs` apart, then fixes
// g_Aspect_43 and g_Model_Variant. False when the camera never became ready
// or the link was lost meanwhile (then at once, without the aspect poll;
// link.NoAnswer() tells a daemon that no longer answers); the caller then
// shows the not-ready message, unless link.Failed() says the final status
// poll already ended the program with the link's own message. A stop request ends the wait at
// its next pause with false, for a program whose user gave up waiting.
bool WaitCameraReady(DeviceLink& link, CameraStatus& status,
                     int pollIntervalMs = kReadyPollIntervalMs, std::stop_token stop = {});

}  // namespace rd420
