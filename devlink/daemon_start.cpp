#include "devlink/daemon_start.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/lock_holder.h"
#include "wire/device_directory.h"
#include "wire/ioctl_codes.h"

extern char** environ;

namespace rd420 {

namespace {

constexpr std::string_view kOptionsVariable = "RD420D_OPTIONS";
constexpr std::string_view kBlanks = " \t\r\n";
constexpr auto kPollInterval = std::chrono::milliseconds(10);
// A USB daemon with no camera plugged in holds its lock but has no node,
// so the node is waited for only this much longer.
constexpr auto kNodeWait = std::chrono::milliseconds(500);

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The value of `name` in an environment file, parsed as systemd parses
// one: comment lines start with # or ;, blanks around the name and before
// the value are dropped, "double" quotes take \" \\ \` \$ as escapes,
// 'single' quotes none, outside quotes a backslash takes the next character
// as it is (a line end: the line goes on). systemd also drops trailing
// blanks, which the split on blanks drops anyway.
std::optional<std::string> EnvironmentValue(std::string_view text, std::string_view name) {
  std::optional<std::string> found;
  size_t i = 0;
  auto skipLine = [&] {
    const size_t end = text.find('\n', i);
    i = end == std::string_view::npos ? text.size() : end + 1;
  };
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) {
      ++i;
    }
    if (i == text.size()) {
      break;
    }
    if (text[i] == '#' || text[i] == ';') {
      skipLine();
      continue;
    }
    const size_t equals = text.find_first_of("=\n", i);
    if (equals == std::string_view::npos || text[equals] != '=') {
      skipLine();
      continue;
    }
    std::string_view key = text.substr(i, equals - i);
    key.remove_suffix(key.size() - (key.find_last_not_of(" \t\r") + 1));
    i = equals + 1;
    while (i < text.size() && IsBlank(text[i])) {
      ++i;
    }
    std::string value;
    while (i < text.size() && text[i] != '\n') {
      const char c = text[i++];
      if (c == '"' || c == '\'') {
        while (i < text.size() && text[i] != c) {
          if (c == '"' && text[i] == '\\' && i + 1 < text.size() &&
              std::string_view("\"\\`$").find(text[i + 1]) != std::string_view::npos) {
            ++i;
          }
          value += text[i++];
        }
        ++i;  // the closing quote
      } else if (c == '\\') {
        if (i < text.size() && text[i] != '\n') {
          value += text[i];
        }
        ++i;
      } else {
        value += c;
      }
    }
    if (key == name) {
      found = std::move(value);
    }
  }
  return found;
}

std::string StatusText(int status) {
  if (WIFEXITED(status)) {
    return "exited with status " + std::to_string(WEXITSTATUS(status));
  }
  return "was ended by signal " + std::to_string(WTERMSIG(status));
}

// The daemon makes its control socket before the nodes, so only a node
// tells that a program looking for cameras now finds them.
bool AnyNodeExists(std::string_view directory) {
  for (int instance = 0; instance < kMaxDeviceInstances; ++instance) {
    struct stat info {};
    if (::lstat(DevicePath(directory, DeviceName(instance)).c_str(), &info) == 0) {
      return true;
    }
  }
  return false;
}

// posix_spawn's attributes and file actions, destroyed however we leave.
struct SpawnSetup {
  SpawnSetup() {
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_init(&actions);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
};

// The argv a spawn takes, pointing into `args`.
std::vector<char*> ArgumentPointers(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  return argv;
}

// Words as systemd splits a variable's value into arguments: blanks apart,
// quotes grouping and dropped (one left open runs to the end), a backslash
// outside single quotes taking the next character as it is.
std::vector<std::string> SplitWords(std::string_view value) {
  std::vector<std::string> words;
  std::optional<std::string> word;
  char quote = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quote == 0 && kBlanks.find(c) != std::string_view::npos) {
      if (word) {
        words.push_back(std::move(*word));
        word.reset();
      }
      continue;
    }
    if (!word) {
      word.emplace();
    }
    if (c == quote) {
      quote = 0;
    } else if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (c == '\\' && quote != '\'' && i + 1 < value.size()) {
      *word += value[++i];
    } else {
      *word += c;
    }
  }
  if (word) {
    words.push_back(std::move(*word));
  }
  return words;
}

// Where a daemon a program starts writes its lines: the program's own
// standard error may be a pipe that someone reads to its end.
std::string DaemonLogPath() {
  std::filesystem::path folder;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
    folder = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    folder = std::filesystem::path(home) / ".local/state";
  } else {
    return "/dev/null";
  }
  folder /= "rd420";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return error ? "/dev/null" : (folder / "rd420d.log").string();
}

// Waits until `directory` is served: its lock held and a node there, or
// the lock held for kNodeWait. `child`, when there is one, is the daemon we
// started, reaped here if it ends.
std::optional<std::string> WaitUntilServed(const std::string& directory, int timeoutMs,
                                           std::optional<pid_t> child) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::optional<Clock::time_point> nodeDeadline;
  std::optional<int> exitStatus;
  for (;;) {
    // One that lost a start race exits 1 while the winner serves, which is
    // just as good.
    if (int status = 0; child && !exitStatus && ::waitpid(*child, &status, WNOHANG) == *child) {
      exitStatus = status;
    }
    const Clock::time_point now = Clock::now();
    if (DaemonServes(directory)) {
      if (!nodeDeadline) {
        nodeDeadline = std::min(deadline, now + kNodeWait);
      }
      if (AnyNodeExists(directory) || now >= *nodeDeadline) {
        return std::nullopt;
      }
    } else if (exitStatus) {
      return "rd420d " + StatusText(*exitStatus) + " without serving " + directory;
    }
    if (now >= deadline) {
      return "rd420d did not serve " + directory + " within " + std::to_string(timeoutMs) + " ms";
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

// Runs `argv` with no input or output and waits at most `timeoutMs` for
// its exit status; nullopt when it could not run or did not end in time.
std::optional<int> RunQuietly(std::vector<std::string> args, int timeoutMs) {
  std::vector<char*> argv = ArgumentPointers(args);
  SpawnSetup spawn;
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    posix_spawn_file_actions_addopen(&spawn.actions, fd, "/dev/null", O_RDWR, 0);
  }
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &spawn.actions, &spawn.attributes, argv.data(), environ) != 0) {
    return std::nullopt;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (int status = 0; ::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

// Asks the session's systemd user manager, when one runs, to start the
// daemon's unit. False when there is none, or it has no such unit.
bool StartedByUserManager() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat manager {};
  if (runtime == nullptr || *runtime != '/' ||
      ::stat((std::string(runtime) + "/systemd/private").c_str(), &manager) != 0) {
    return false;
  }
  return RunQuietly({"systemctl", "--user", "start", "--no-block", "rd420d.service"}, 2000) == 0;
}

}  // namespace

bool DaemonServes(std::string_view directory) {
  return FlockHolder(DevicePath(directory, kLockFileName)).has_value();
}

std::vector<std::string> ReadDaemonOptions(const std::string& path) {
  std::ifstream file(path);
  const std::string text(std::istreambuf_iterator<char>(file), {});
  const std::optional<std::string> value = EnvironmentValue(text, kOptionsVariable);
  return value ? SplitWords(*value) : std::vector<std::string>{};
}

namespace {

// waitid's P_PIDFD (Linux 5.4), which <linux/wait.h> defines in a way that
// clashes with <sys/wait.h>: the child a pidfd refers to.
constexpr auto kByPidFd = static_cast<idtype_t>(3);

// Reaps the daemons this process started, each whenever it ends, so none
// lingers as a zombie of ours. Each is waited for on a thread of its own,
// which the process's exit (or the library's unloading) wakes and joins;
// the daemon runs on.
class DaemonReaper {
 public:
  DaemonReaper() : stop_(::eventfd(0, EFD_CLOEXEC)) {}
  ~DaemonReaper() {
    const uint64_t one = 1;
    static_cast<void>(::write(stop_, &one, sizeof one));
    for (std::thread& waiter : waiters_) {
      waiter.join();
    }
    ::close(stop_);
  }
  DaemonReaper(const DaemonReaper&) = delete;
  DaemonReaper& operator=(const DaemonReaper&) = delete;

  // Without an event, a descriptor for the child or a thread, it is reaped
  // only when we end.
  void Reap(pid_t pid) {
    const int child = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (stop_ < 0 || child < 0) {
      return;
    }
    std::lock_guard lock(mutex_);
    try {
      waiters_.emplace_back([child, stop = stop_] {
        pollfd waits[] = {{child, POLLIN, 0}, {stop, POLLIN, 0}};
        while (::poll(waits, 2, -1) < 0 && errno == EINTR) {
        }
        // By its descriptor: its pid may be another's once someone else
        // reaped it.
        siginfo_t info{};
        if ((waits[0].revents & POLLIN) != 0) {
          ::waitid(kByPidFd, static_cast<id_t>(child), &info, WEXITED);
        }
        ::close(child);
      });
    } catch (const std::system_error&) {
      ::close(child);
    }
  }

 private:
  const int stop_;
  std::mutex mutex_;  // guards waiters_: any thread may start a daemon
  std::vector<std::thread> waiters_;
};

// Starts <programDirectory>/rd420d for `directory` and waits until it
// serves; the caller has seen that nothing serves it yet.
std::optional<std::string> SpawnDaemon(const std::string& directory,
                                       const std::string& programDirectory,
                                       const std::string& optionsFile, int timeoutMs) {
  const std::string program = programDirectory + "/rd420d";
  if (::access(program.c_str(), X_OK) != 0) {
    return "no rd420d at " + program + " (" + std::strerror(errno) + ")";
  }
  // Our --dir comes last, so it wins over one in the options file.
  std::vector<std::string> args = {program};
  for (std::string& option : ReadDaemonOptions(optionsFile)) {
    args.push_back(std::move(option));
  }
  args.push_back("--dir");
  args.push_back(directory);
  std::vector<char*> argv = ArgumentPointers(args);

  // A session of its own in /, so the daemon outlives the terminal and the
  // program and pins no mount; default signal handling and no blocked
  // signals, whatever the program set; none of the program's descriptors,
  // so it never keeps a lock of the program's or a pipe's end open.
  const std::string log = DaemonLogPath();
  SpawnSetup spawn;
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&spawn.attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&spawn.attributes, &signals);
  posix_spawnattr_setflags(&spawn.attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&spawn.actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&spawn.actions, STDERR_FILENO + 1);
  posix_spawn_file_actions_addchdir_np(&spawn.actions, "/");
  pid_t pid = -1;
  if (const int error = posix_spawn(&pid, program.c_str(), &spawn.actions, &spawn.attributes,
                                    argv.data(), environ);
      error != 0) {
    return "cannot start " + program + ": " + std::strerror(error);
  }
  const std::optional<std::string> problem = WaitUntilServed(directory, timeoutMs, pid);
  if (::waitpid(pid, nullptr, WNOHANG) == 0) {
    static DaemonReaper reaper;
    reaper.Reap(pid);
  }
  return problem;
}

}  // namespace

std::optional<std::string> StartDaemonIfNoneServes(const std::string& directory,
                                                   const std::string& programDirectory,
                                                   const std::string& optionsFile, int timeoutMs) {
  if (DaemonServes(directory)) {
    return std::nullopt;
  }
  return SpawnDaemon(directory, programDirectory, optionsFile, timeoutMs);
}

void StartDaemonForProgram() {
  if (const char* own = std::getenv("RD420_DEVICE_DIR"); own != nullptr && *own != '\0') {
    return;
  }
  const std::string directory = DefaultDeviceDirectory();
  if (DaemonServes(directory)) {
    return;
  }
  std::optional<std::string> problem;
  if (StartedByUserManager()) {
    problem = WaitUntilServed(directory, kDaemonStartTimeoutMs, std::nullopt);
    if (problem) {
      problem = *problem + " (started as systemctl --user start rd420d.service)";
    }
  } else {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    problem = error ? "cannot find this program's folder to start rd420d: " + error.message()
                    : SpawnDaemon(directory, self.parent_path().string(), RD420_DAEMON_OPTIONS_FILE,
                                  kDaemonStartTimeoutMs);
  }
  if (problem) {
    std::fprintf(stderr, "rd420: %s\n", problem->c_str());
  }
}

}  // namespace rd420
