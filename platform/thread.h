#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>

namespace rd420 {

// Scheduling priorities of the camera's threads. Best effort: a process
// without the right to raise its priority runs the thread at normal
// priority instead.
enum class ThreadPriority { kHighest, kNormal, kLowest, kIdle };

// Starts `body` on a new thread that first applies `priority` to itself.
std::thread StartThread(ThreadPriority priority, std::function<void()> body);

// Sleeps for `duration` or until `stop` is requested; false when stopped.
bool SleepUnlessStopped(std::chrono::milliseconds duration, std::stop_token stop);

// Applies `priority` to the calling thread; returns false when the system
// refused it.
bool SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace rd420
