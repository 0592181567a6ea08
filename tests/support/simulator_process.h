#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace rd420::test {

// Limits set in the daemon's own process before it starts; 0 leaves one
// as inherited. Under root a thread limit would not bind, so the daemon
// then runs as the otherwise idle user nobody, whose tasks it alone counts,
// from a copy that user can reach.
struct ProcessLimits {
  unsigned long openFiles = 0;
  unsigned long threads = 0;
};

// Runs rd420d --simulate in a private device directory for one test and
// stops it afterwards.
class SimulatorProcess {
 public:
  explicit SimulatorProcess(std::vector<std::string> options = {}, ProcessLimits limits = {});
  ~SimulatorProcess();
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  // True once every node and the control socket exist.
  bool Ready() const { return ready_; }
  const std::string& Directory() const { return directory_; }
  pid_t Pid() const { return pid_; }

  // Stops the daemon with SIGTERM and returns its exit code (-1 when a
  // signal or a sanitizer ended it otherwise).
  int Stop();

  // Stops the daemon's process (SIGSTOP) as a daemon that no longer
  // answers, and lets it go on (SIGCONT). Stop resumes it first.
  void Pause();
  void Resume();

  // Sends one line to the control socket and returns the answer line.
  std::string Control(const std::string& line) const;
  // The "key=value" pairs of the `state` answer.
  std::map<std::string, std::string> State() const;
  // Waits up to 5 s for `key` of the state to read `value`.
  bool WaitForState(const std::string& key, const std::string& value) const;

 private:
  std::string directory_;
  std::string copyFolder_;  // the daemon's copy when it runs as nobody
  pid_t pid_ = -1;
  bool ready_ = false;
};

// A fresh empty directory under the system's temporary folder, removed by
// the caller.
std::string MakeTempDirectory();
void RemoveDirectory(const std::string& path);

// Runs a program to completion; returns its exit code and what it wrote.
struct ProgramResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
// `inChild` runs in the child before the program starts (limits, signals).
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::function<void()>& inChild = {});

}  // namespace rd420::test
