#pragma once

#include <functional>
#include <thread>

namespace rd420 {

// Scheduling priorities of the camera's threads. Best effort: a process
// without the right to raise its priority runs the thread at normal
// priority instead.
enum class ThreadPriority { kHighest, kNormal, kLowest, kIdle };

// Starts `body` on a new thread that first applies `priority` to itself.
std::thread StartThread(ThreadPriority priority, std::function<void()> body);

// Applies `priority` to the calling thread; returns false when the system
// refused it.
bool SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace rd420
