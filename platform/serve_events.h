#pragma once

#include <functional>

namespace rd420 {

// Runs `work` on a thread of its own while the calling GUI thread serves
// every event but user input, and returns when `work` has. A worker being
// waited for may itself wait for the GUI thread to show its message. With
// no thread to spare, `work` runs on the caller.
void RunServingEvents(const std::function<void()>& work);

}  // namespace rd420
