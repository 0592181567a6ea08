#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace rd420::test {

// The items that `rd420ctl check` failed, by the lines of its output. A
// frame rate missed by more than 10 % and a slow status poll are left out:
// they measure the machine as much as the camera (a sanitizer build, a busy
// machine), and tests assert no timing. The byte counts of the frame items
// still count, since their rate is judged only once every frame came whole.
inline std::vector<std::string> FailedCheckLines(const std::string& out) {
  std::vector<std::string> failed;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const bool fail = line.find(" FAIL: ") != std::string::npos;
    const bool rate = line.find(" frames/s") != std::string::npos &&
                      line.find("within 10 %, got ") != std::string::npos;
    const bool slowPoll = line.starts_with("status poll time ") &&
                          line.find("FAIL: expected p99 within ") != std::string::npos;
    if (fail && !rate && !slowPoll) {
      failed.push_back(line);
    }
  }
  return failed;
}

}  // namespace rd420::test
