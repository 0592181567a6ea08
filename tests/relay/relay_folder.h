#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QString>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/gui_helpers.h"
#include "support/simulator_process.h"

namespace rd420::relay::test {

// Sends the X server what Qt still holds back. Qt does not flush the
// destruction of a hidden window on its own, which a program ending does.
inline void FlushWindowRequests() {
  xcb_flush(qApp->nativeInterface<QNativeInterface::QX11Application>()->connection());
}

// A folder holding a copy of the relay, as an installation has it beside
// the programs it starts, with its own runtime directory for the camera
// lock. Whatever still runs from the folder is ended with it.
class RelayFolder {
 public:
  RelayFolder() : path_(rd420::test::MakeTempDirectory()), runtime_(path_ + "/run") {
    std::filesystem::create_directory(runtime_);
    std::filesystem::permissions(runtime_, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    Install(SWIVANE_PATH);
  }
  ~RelayFolder() {
    EndProgramsRunningFromHere();
    rd420::test::RemoveDirectory(path_);
  }

  // Copies a built program in. A link would not do: a program finds its
  // folder through its own resolved path.
  void Install(const std::string& program) {
    const std::filesystem::path target =
        std::filesystem::path(path_) / std::filesystem::path(program).filename();
    std::filesystem::copy_file(program, target);
  }

  // A stand-in program `name` that writes its path and arguments to
  // Started() and ends.
  void InstallStandIn(const std::string& name) {
    const std::string script = path_ + "/" + name;
    std::ofstream(script) << "#!/bin/sh\necho \"$0 $*\" > " << Record() << ".part\nmv " << Record()
                          << ".part " << Record() << "\n";
    chmod(script.c_str(), 0700);
  }
  bool Started() const { return std::filesystem::exists(Record()); }
  std::string StartedLine() const {
    std::ifstream in(Record());
    std::string line;
    std::getline(in, line);
    return line;
  }

  const std::string& Path() const { return path_; }
  QString Program(const char* name) const { return QString::fromStdString(path_ + "/" + name); }

  // Ends, by process id, every process whose program lies in this folder:
  // the relay first, so that it starts nothing more.
  void EndProgramsRunningFromHere() const {
    for (const bool relayOnly : {true, false}) {
      for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        const std::filesystem::path exe =
            std::filesystem::read_symlink(entry.path() / "exe", error);
        if (error || exe.parent_path() != path_ || (relayOnly && exe.filename() != "Swivane")) {
          continue;
        }
        const pid_t pid = std::stoi(entry.path().filename().string());
        kill(pid, SIGKILL);
        rd420::test::WaitFor([&] { return !std::filesystem::exists(entry.path() / "exe"); }, 2000);
      }
    }
  }

 private:
  std::string Record() const { return path_ + "/started"; }

  std::string path_;
  std::string runtime_;
};

}  // namespace rd420::relay::test
