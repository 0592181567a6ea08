#include "support/simulator_process.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "wire/device_directory.h"
#include "wire/socket_io.h"

namespace rd420::test {

namespace {

std::vector<char*> ArgvOf(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

std::string MakeTempDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rd420-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    return {};
  }
  return pattern;
}

void RemoveDirectory(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

SimulatorProcess::SimulatorProcess(std::vector<std::string> options, ProcessLimits limits)
    : directory_(MakeTempDirectory()) {
  std::string program = RD420D_PATH;
  constexpr uid_t kNobody = 65534;
  const bool asNobody = limits.threads != 0 && geteuid() == 0;
  if (asNobody) {
    // Nobody may not reach a build tree inside a private (0700) home
    // folder: the daemon runs from a copy in a folder anyone can enter.
    copyFolder_ = MakeTempDirectory();
    program = copyFolder_ + "/rd420d";
    std::error_code error;
    if (chmod(copyFolder_.c_str(), 0755) != 0 ||
        !std::filesystem::copy_file(RD420D_PATH, program, error)) {
      return;
    }
  }
  std::vector<std::string> args = {program, "--simulate", "--dir", directory_};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv = ArgvOf(args);
  pid_ = fork();
  if (pid_ == 0) {
    if (limits.openFiles != 0) {
      const rlimit files{limits.openFiles, limits.openFiles};
      setrlimit(RLIMIT_NOFILE, &files);
    }
    if (limits.threads != 0) {
      if (asNobody && (chown(directory_.c_str(), kNobody, kNobody) != 0 || setgid(kNobody) != 0 ||
                       setuid(kNobody) != 0 || chdir("/") != 0)) {
        _exit(126);
      }
      const rlimit threads{limits.threads, limits.threads};
      setrlimit(RLIMIT_NPROC, &threads);
    }
    // A test killed by a time-out takes its daemon with it (after the user
    // change, which would clear it).
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // The control socket is made first and the nodes right after; wait for
  // the daemon to answer on it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Control("state").starts_with("ok")) {
      ready_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

SimulatorProcess::~SimulatorProcess() {
  Stop();
  RemoveDirectory(directory_);
  if (!copyFolder_.empty()) {
    RemoveDirectory(copyFolder_);
  }
}

void SimulatorProcess::Pause() {
  kill(pid_, SIGSTOP);
}

void SimulatorProcess::Resume() {
  kill(pid_, SIGCONT);
}

int SimulatorProcess::Stop() {
  if (pid_ <= 0) {
    return -1;
  }
  Resume();
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SimulatorProcess::WaitForState(const std::string& key, const std::string& value) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    const auto state = State();
    if (auto found = state.find(key); found != state.end() && found->second == value) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

std::string SimulatorProcess::Control(const std::string& line) const {
  UniqueFd fd = ConnectUnixSocket(DevicePath(directory_, kControlSocketName));
  if (!fd.Valid()) {
    return {};
  }
  const std::string request = line + "\n";
  if (!SendAll(fd.Get(), {reinterpret_cast<const uint8_t*>(request.data()), request.size()})) {
    return {};
  }
  std::string answer;
  char c;
  while (recv(fd.Get(), &c, 1, 0) == 1 && c != '\n') {
    answer.push_back(c);
  }
  return answer;
}

std::map<std::string, std::string> SimulatorProcess::State() const {
  std::map<std::string, std::string> pairs;
  std::istringstream words(Control("state"));
  std::string word;
  while (words >> word) {
    const size_t equals = word.find('=');
    if (equals != std::string::npos) {
      pairs[word.substr(0, equals)] = word.substr(equals + 1);
    }
  }
  return pairs;
}

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::function<void()>& inChild) {
  const std::string directory = MakeTempDirectory();
  const std::string outPath = directory + "/out";
  const std::string errPath = directory + "/err";
  std::vector<std::string> args = argv;
  std::vector<char*> cargv = ArgvOf(args);
  ProgramResult result;
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) {
      _exit(126);
    }
    if (inChild) {
      inChild();
    }
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [](const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  RemoveDirectory(directory);
  return result;
}

}  // namespace rd420::test
