#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devlink/device_link.h"
#include "devlink/socket_transport.h"
#include "wire/frame_format.h"

namespace rd420::tools {

// What one item of `rd420ctl check` found: a pass with its figures, or a
// failure saying what was expected and what came.
struct ItemResult {
  bool ok = false;
  std::string text;
};

// The camera under check and what the items learn of it on the way. Used
// by the check's thread; an item may run threads of its own and joins
// them before it returns.
class CheckSession {
 public:
  CheckSession(std::string directory, std::string node, bool quick);
  CheckSession(const CheckSession&) = delete;
  CheckSession& operator=(const CheckSession&) = delete;

  // False when the node does not open at all.
  bool Open();

  ItemResult PipeInformation();
  ItemResult StatusWord();
  ItemResult ReadyWait();
  // Sets the status bit `bit` with `setWord` or clears it with `clearWord`,
  // whichever changes it, waits until the status shows it, then changes it
  // back.
  ItemResult RoundTrip(int bit, uint32_t setWord, uint32_t clearWord);
  ItemResult Frames(Resolution resolution);
  ItemResult TwoReaders();
  ItemResult Abort();
  ItemResult SizeChangeFromAnotherProcess();
  ItemResult ReadTimeOut();
  ItemResult StatusPollTime();
  ItemResult StateRestored();

 private:
  std::optional<uint32_t> Send(uint32_t word);
  std::optional<uint32_t> Poll();
  FrameGeometry Geometry(Resolution resolution) const;
  bool SetSize(Resolution resolution);

  const std::string directory_;
  const std::string node_;
  const bool quick_;
  SocketTransport transport_;
  DeviceLink link_;
  std::unique_ptr<DeviceHandle> control_;
  bool aspect43_ = true;
  std::optional<uint32_t> initialStatus_;
};

// One line of the check: its name and how to run it.
struct CheckItem {
  const char* name;
  ItemResult (*run)(CheckSession& session);
};

// Every item in the order it runs.
const std::vector<CheckItem>& CheckItems();

}  // namespace rd420::tools
