#pragma once

#include <QString>
#include <cstdint>
#include <utility>

#include "platform/settings_store.h"

namespace rd420::viewer {

// The viewer's seven settings as the key "Software\QRN_VMX" holds them.
struct ViewerSettings {
  QString QuickCap;              // the quick-save folder
  uint32_t DelayTime = 5000;     // ms before the full-screen control bar hides; 0 never
  bool AlwaysFull = false;       // half-mode stills at full size (from the next start)
  bool SafeMode = false;         // the readers pause after each frame
  bool FullScreenMode3 = true;   // full screen at 1:1, centred
  bool FullScreenMode4 = false;  // full screen scaled to the monitor
  bool TopMostMode = false;      // the main window stays above the others

  bool operator==(const ViewerSettings&) const = default;
};

inline constexpr char kViewerSettingsKey[] = "Software\\QRN_VMX";

// The first-start values: QuickCap is "<programDirectory>/QuickCap" when the
// program's folder is writable (an installed program's is not), else the
// user's pictures folder plus "/QuickCap".
ViewerSettings FirstStartSettings(const QString& programDirectory);

// Reads the key into `settings`. A missing key is created with the
// first-start values (already in `settings`) and Version. A value that is
// missing keeps what `settings` holds. False, after the load's message
// "Registry Open Error!  " (AWN000020), when the key cannot be created or
// read or holds a damaged value; `settings` then keeps what could be read.
bool LoadViewerSettings(const SettingsKey& key, ViewerSettings& settings);

// Writes the seven values. False, after the confirm's message
// "Registry Open Error! " (AWN000020), when they cannot be written.
bool StoreViewerSettings(const SettingsKey& key, const ViewerSettings& settings);

// The viewer's settings as it runs: the copy in memory, loaded at start and
// changed by the option dialog, beside what the key holds now.
// Thread-bound: the GUI thread.
class StoredSettings {
 public:
  StoredSettings(SettingsKey key, QString programDirectory)
      : key_(std::move(key)), programDirectory_(std::move(programDirectory)) {}

  // Loads the key over the first-start values (on failure, after its
  // message, what could be read).
  const ViewerSettings& Load();
  const ViewerSettings& Current() const { return current_; }
  // The file, which other parts of the program keep values of their own in.
  const SettingsKey& Key() const { return key_; }
  // What the key holds now, not what is in memory.
  ViewerSettings Stored() const;
  // Stores `chosen` and takes it, except AlwaysFull, which waits for the
  // next start. False, after the store's message, when nothing changed.
  bool Confirm(const ViewerSettings& chosen);
  // The quick-save folder as the key names it at this moment; an emptied
  // value is the first-start folder, never the file system's root.
  QString QuickSaveFolder() const;

 private:
  const SettingsKey key_;
  const QString programDirectory_;
  ViewerSettings current_;
};

}  // namespace rd420::viewer
