#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rd420 {

// Whether some process holds the flock on <directory>/rd420d.lock, that is
// whether a daemon serves the folder. Looks in the kernel's lock table and
// never takes the lock itself, which would make a starting daemon's claim
// fail. Safe from any thread.
bool DaemonServes(std::string_view directory);

// The words of RD420D_OPTIONS in an environment file read as systemd reads
// one (# comments; values unquoted, "double" or 'single' quoted; the last
// assignment wins), split as systemd splits an unbraced $RD420D_OPTIONS:
// on blanks, quotes grouping words and dropped, a backslash taking the
// next character as it is. Empty when the file or the variable is missing.
std::vector<std::string> ReadDaemonOptions(const std::string& path);

// Starts <programDirectory>/rd420d <options from optionsFile> --dir
// <directory> when no daemon serves `directory`, and waits until it serves:
// its lock is held and a node RD-420-<n> exists (or, for a USB daemon with
// no camera plugged in, half a second has passed with the lock held). The
// daemon runs in a session of its own in /, its output going to
// $XDG_STATE_HOME/rd420/rd420d.log, so it holds none of the program's
// files, terminal or folder. nullopt when a daemon serves, already or now
// (another that won a start race counts); else one line saying why not.
// Returns within about timeoutMs whatever the daemon does.
inline constexpr int kDaemonStartTimeoutMs = 3000;
std::optional<std::string> StartDaemonIfNoneServes(const std::string& directory,
                                                   const std::string& programDirectory,
                                                   const std::string& optionsFile,
                                                   int timeoutMs = kDaemonStartTimeoutMs);

// What the viewer and the capture program run at start, for the default
// device folder. Where the session's systemd user manager runs, it is asked
// to start rd420d.service (the unit the package enables), so the daemon is
// the one it supervises; elsewhere, or when it has no such unit, rd420d is
// started from the folder the program is installed in. Nothing happens
// when RD420_DEVICE_DIR is set, as that folder is its user's to serve. A
// failure is one line "rd420: ..." on standard error; the program then
// goes on to its usual no-camera message.
void StartDaemonForProgram();

}  // namespace rd420
